// Owners of OpenSSL objects: a unique_ptr that frees with the object's own
// free function.
#pragma once

#include <memory>

template <typename T, void (*Free)(T*)>
struct COpenSslFree {
    void operator()(T* p) const { Free(p); }
};

template <typename T, void (*Free)(T*)>
using TOpenSslPtr = std::unique_ptr<T, COpenSslFree<T, Free>>;
