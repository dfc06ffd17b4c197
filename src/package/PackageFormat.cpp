#include "package/PackageFormat.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#define KX_X86 1
#endif

const uint8_t SIGNATURE_LAYER_KEY[SCRAMBLE_KEY_BYTES] = {
    0x5E, 0xC3, 0x17, 0xA9, 0x62, 0x0D, 0xF4, 0x8B,
    0x39, 0xD6, 0x71, 0x2E, 0xB0, 0x4A, 0xE5, 0x93,
};

bool ContainerHeader::IsValid(uint32_t maxType) const
{
    return type <= maxType && recordCount <= CONTAINER_MAX_RECORDS && created != 0 &&
           magic1 == CONTAINER_MAGIC_1 && magic2 == CONTAINER_MAGIC_2;
}

uint32_t ReadUninstallFlags(const uint8_t* data, size_t size)
{
    if (!data || size < UNINSTALL_FLAGS_BYTES)
        return 0;
    uint32_t flags = 0;
    memcpy(&flags, data, sizeof(flags));
    return flags;
}

void GetRecordKey(uint8_t key[SCRAMBLE_KEY_BYTES])
{
    // volatile: the compiler must not fold the key into one constant.
    static const volatile uint8_t low[SCRAMBLE_KEY_BYTES] = {
        0x2B, 0x91, 0x6C, 0xE0, 0x14, 0xB7, 0x5A, 0xC8,
        0x03, 0x7F, 0xD2, 0x46, 0xA1, 0x38, 0xEF, 0x65,
    };
    static const volatile uint8_t high[SCRAMBLE_KEY_BYTES] = {
        0xD4, 0x27, 0x8E, 0x53, 0xFA, 0x0C, 0x71, 0xB9,
        0x46, 0xE2, 0x1D, 0x95, 0x3B, 0xC0, 0x68, 0x8F,
    };
    for (unsigned i = 0; i < SCRAMBLE_KEY_BYTES; ++i)
        key[i] = static_cast<uint8_t>((low[i] ^ high[SCRAMBLE_KEY_BYTES - 1 - i]) + i * 29);
}

namespace {

void DescrambleScalar(uint8_t* data, size_t length, const uint8_t* key, uint8_t prev, size_t start)
{
    for (size_t i = start; i < length; ++i) {
        uint8_t stored = data[i];
        data[i] = static_cast<uint8_t>(stored ^ static_cast<uint8_t>(prev + key[i % SCRAMBLE_KEY_BYTES]));
        prev = stored;
    }
}

#ifdef KX_X86
// Blocks of 16 start at multiples of 16, so the key lines up with one
// register. The stored bytes shifted by one come from this block and the last
// byte of the previous one, kept in a register because the store overwrites it;
// `prev` is the stored byte before `data`.
__attribute__((target("sse2"))) void DescrambleSse2(uint8_t* data, size_t length, const uint8_t* key, uint8_t prev)
{
    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    __m128i before = _mm_slli_si128(_mm_cvtsi32_si128(prev), 15);
    size_t i = 0;
    for (; i + 32 <= length; i += 32) {
        __m128i* p = reinterpret_cast<__m128i*>(data + i);
        __m128i a = _mm_loadu_si128(p);
        __m128i b = _mm_loadu_si128(p + 1);
        __m128i prevA = _mm_or_si128(_mm_slli_si128(a, 1), _mm_srli_si128(before, 15));
        __m128i prevB = _mm_or_si128(_mm_slli_si128(b, 1), _mm_srli_si128(a, 15));
        _mm_storeu_si128(p, _mm_xor_si128(a, _mm_add_epi8(prevA, k)));
        _mm_storeu_si128(p + 1, _mm_xor_si128(b, _mm_add_epi8(prevB, k)));
        before = b;
    }
    for (; i + 16 <= length; i += 16) {
        __m128i* p = reinterpret_cast<__m128i*>(data + i);
        __m128i a = _mm_loadu_si128(p);
        __m128i prevA = _mm_or_si128(_mm_slli_si128(a, 1), _mm_srli_si128(before, 15));
        _mm_storeu_si128(p, _mm_xor_si128(a, _mm_add_epi8(prevA, k)));
        before = a;
    }
    if (i)
        prev = static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_srli_si128(before, 15)));
    DescrambleScalar(data, length, key, prev, i);
}
#endif

} // namespace

bool CpuHasSse2()
{
#if defined(__x86_64__)
    // Part of the x86-64 instruction set: every 64-bit processor has it.
    return true;
#elif defined(KX_X86)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    return (edx & bit_SSE2) != 0;
#else
    return false;
#endif
}

ptrdiff_t DescrambleRecordWith(ScrambleCode code, uint8_t* data, ptrdiff_t length, const uint8_t* key)
{
    return DescrambleRecordFromWith(code, data, length, key, 0, 0);
}

ptrdiff_t DescrambleRecordFromWith(ScrambleCode code, uint8_t* data, ptrdiff_t length, const uint8_t* key,
                                   uint64_t index, uint8_t previous)
{
    if (!data || !key || length <= 0)
        return 0;
    // The key as it lines up with data[0].
    uint8_t turned[SCRAMBLE_KEY_BYTES];
    for (unsigned i = 0; i < SCRAMBLE_KEY_BYTES; ++i)
        turned[i] = key[(index + i) % SCRAMBLE_KEY_BYTES];
#ifdef KX_X86
    if (code == ScrambleCode::Sse2 && CpuHasSse2()) {
        DescrambleSse2(data, static_cast<size_t>(length), turned, previous);
        return length;
    }
#endif
    (void)code;
    DescrambleScalar(data, static_cast<size_t>(length), turned, previous, 0);
    return length;
}

ptrdiff_t DescrambleRecord(uint8_t* data, ptrdiff_t length, const uint8_t* key)
{
    return DescrambleRecordWith(ScrambleCode::Sse2, data, length, key);
}

ptrdiff_t DescrambleRecordFrom(uint8_t* data, ptrdiff_t length, const uint8_t* key, uint64_t index,
                               uint8_t previous)
{
    return DescrambleRecordFromWith(ScrambleCode::Sse2, data, length, key, index, previous);
}

void ScrambleRecord(uint8_t* data, ptrdiff_t length, const uint8_t* key)
{
    ScrambleRecordFrom(data, length, key, 0, 0);
}

uint8_t ScrambleRecordFrom(uint8_t* data, ptrdiff_t length, const uint8_t* key, uint64_t index,
                           uint8_t previous)
{
    if (!data || !key || length <= 0)
        return previous;
    uint8_t prev = previous;
    unsigned k = static_cast<unsigned>(index % SCRAMBLE_KEY_BYTES);
    for (ptrdiff_t i = 0; i < length; ++i) {
        uint8_t stored = static_cast<uint8_t>(data[i] ^ static_cast<uint8_t>(prev + key[k]));
        data[i] = stored;
        prev = stored;
        k = (k + 1) % SCRAMBLE_KEY_BYTES;
    }
    return prev;
}

bool SplitSignedPayload(const uint8_t* payload, size_t size, size_t* streamBytes,
                        uint32_t* unpackedSize)
{
    if (!payload || size < SIGNED_TRAILER_BYTES)
        return false;
    uint32_t marker = 0, unpacked = 0;
    memcpy(&marker, payload + size - 4, 4);
    if (marker != SIGNED_TRAILER_MARKER)
        return false;
    memcpy(&unpacked, payload + size - 8, 4);
    size_t stream = size - SIGNED_TRAILER_BYTES;
    if (unpacked == 0 || stream < LZO_END_MARKER_BYTES)
        return false;
    const uint8_t* end = payload + stream - LZO_END_MARKER_BYTES;
    if (end[0] != 0x11 || end[1] != 0 || end[2] != 0)
        return false;
    *streamBytes = stream;
    *unpackedSize = unpacked;
    return true;
}
