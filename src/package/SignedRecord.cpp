// Signed records: verification, the signature layer and decompression.
#include <cstring>

#include "minilzo.h"
#include "package/Container.h"
#include "package/SignatureCheck.h"

bool CDCContainer::UnpackSigned(uint32_t signatureId, const uint8_t* data, uint32_t size,
                                CSecureBuffer& content) const
{
    content.Free();
    if (!data)
        return false;
    const uint8_t* signature = nullptr;
    uint32_t signatureSize = 0;
    if (!FindRecord(signatureId, &signature, &signatureSize))
        return false;
    if (!VerifyPackageSignature(data, size, signature, signatureSize))
        return false;

    // The intermediate copy is zeroed with the buffer whatever happens.
    CSecureBuffer payload;
    if (!payload.Allocate(size))
        return false;
    memcpy(payload.Data(), data, size);
    DescrambleRecord(payload.Data(), size, SIGNATURE_LAYER_KEY);

    size_t streamBytes = 0;
    uint32_t unpackedSize = 0;
    if (!SplitSignedPayload(payload.Data(), size, &streamBytes, &unpackedSize))
        return false;
    if (lzo_init() != LZO_E_OK || !content.Allocate(unpackedSize))
        return false;
    lzo_uint produced = unpackedSize;
    // The safe decompressor refuses to read past the stream, to write past
    // the buffer and to copy from before its start; anything but an exactly
    // consumed stream is an error.
    int result = lzo1x_decompress_safe(payload.Data(), streamBytes, content.Data(), &produced, nullptr);
    if (result != LZO_E_OK) {
        content.Free();
        return false;
    }
    content.Shrink(produced);
    return true;
}

bool CDCContainer::GetBitmapRecord(CSecureBuffer& bitmap) const
{
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!FindRecord(RECORD_BITMAP, &data, &size))
        return false;
    return UnpackSigned(RECORD_BITMAP_SIGNATURE, data, size, bitmap);
}
