// The program's own allocation functions. The library's nothrow operator new
// wraps the throwing one in a handler, which pulls the whole exception and
// name-demangling runtime into a program that never throws (some 170 KB).
// Everything here allocates with `new (std::nothrow)` and checks for null.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return malloc(size ? size : 1);
}

// Not used by the program; without exceptions a failure cannot be reported.
void* operator new(std::size_t size)
{
    void* p = malloc(size ? size : 1);
    if (!p)
        abort();
    return p;
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void operator delete(void* p) noexcept
{
    free(p);
}

void operator delete[](void* p) noexcept
{
    free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    free(p);
}
