#include "SignedPayload.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <memory>
#include <new>

#include "package/PackageFormat.h"

bool PackSignedPayload(const Bytes& content, Bytes& payload, std::string& error)
{
    if (content.empty() || content.size() >= 0xFFFFFFFFu) {
        error = "a signed record holds 1 byte to 4 GB";
        return false;
    }
    if (lzo_init() != LZO_E_OK) {
        error = "LZO does not initialise";
        return false;
    }
    // The worst case of LZO1X for incompressible input.
    payload.assign(content.size() + content.size() / 16 + 64 + 3 + SIGNED_TRAILER_BYTES, 0);
    Bytes work(LZO1X_999_MEM_COMPRESS);
    lzo_uint packed = 0;
    if (lzo1x_999_compress(content.data(), content.size(), payload.data(), &packed, work.data()) !=
        LZO_E_OK) {
        error = "LZO compression failed";
        return false;
    }
    payload.resize(packed);
    AppendU32(payload, static_cast<uint32_t>(content.size()));
    AppendU32(payload, SIGNED_TRAILER_MARKER);
    ScrambleRecord(payload.data(), static_cast<ptrdiff_t>(payload.size()), SIGNATURE_LAYER_KEY);
    return true;
}

bool UnpackSignedPayload(const uint8_t* payload, size_t size, Bytes& content, std::string& problem)
{
    Bytes plain(payload, payload + size);
    DescrambleRecord(plain.data(), static_cast<ptrdiff_t>(plain.size()), SIGNATURE_LAYER_KEY);
    size_t streamBytes = 0;
    uint32_t unpackedSize = 0;
    if (!SplitSignedPayload(plain.data(), plain.size(), &streamBytes, &unpackedSize)) {
        problem = "no valid trailer (marker, size or end of the compressed stream)";
        Wipe(plain);
        return false;
    }
    // LZO1X makes fewer than 256 bytes of one stream byte (a long match grows
    // by 255 per zero byte), so no stream fills more than this; the declared
    // size alone must not make inspect take gigabytes. Nor is the room
    // touched before the stream fills it: memory follows what it makes.
    lzo_uint capacity = std::min<uint64_t>(unpackedSize, uint64_t(streamBytes) * 256);
    std::unique_ptr<uint8_t[]> room(new (std::nothrow) uint8_t[capacity ? capacity : 1]);
    if (!room) {
        problem = "no memory to unpack the " + std::to_string(capacity) + " bytes it declares";
        Wipe(plain);
        return false;
    }
    lzo_uint produced = capacity;
    int result = lzo1x_decompress_safe(plain.data(), streamBytes, room.get(), &produced, nullptr);
    Wipe(plain);
    if (result == LZO_E_OK)
        content.assign(room.get(), room.get() + produced);
    volatile uint8_t* left = room.get(); // no plain bytes left behind, as Wipe
    for (lzo_uint i = 0; i < produced; ++i)
        left[i] = 0;
    if (result != LZO_E_OK) {
        problem = "the compressed stream does not unpack (LZO error " + std::to_string(result) + ")";
        return false;
    }
    return true;
}
