#include "support/TestZip.h"

#include <zlib.h>

#include <stdexcept>

namespace {

void Put16(ByteVector& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(ByteVector& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

ByteVector Deflate(const ByteVector& data)
{
    z_stream stream = {};
    if (deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    ByteVector out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

ByteVector Bytes(const std::string& text)
{
    return ByteVector(text.begin(), text.end());
}

ByteVector MakeZip(const std::vector<ZipTestEntry>& entries, const ZipTestOptions& options)
{
    ByteVector archive, central;
    for (size_t i = 0; i < entries.size(); ++i) {
        const ZipTestEntry& entry = entries[i];
        ByteVector stored = entry.method == 8 ? Deflate(entry.data) : entry.data;
        uint32_t crc = static_cast<uint32_t>(crc32(0, entry.data.data(), static_cast<uInt>(entry.data.size())));
        if (entry.badCrc)
            crc ^= 0x5A5A5A5A;
        if (entry.declaredCrc >= 0)
            crc = static_cast<uint32_t>(entry.declaredCrc);
        uint32_t compressed = entry.declaredCompressed < 0 ? static_cast<uint32_t>(stored.size())
                                                           : static_cast<uint32_t>(entry.declaredCompressed);
        const std::string& localName = entry.localName.empty() ? entry.name : entry.localName;
        uint32_t size = entry.declaredSize < 0 ? static_cast<uint32_t>(entry.data.size())
                                               : static_cast<uint32_t>(entry.declaredSize);
        uint32_t flags = (entry.dataDescriptor ? 8 : 0) | entry.extraFlags;
        uint32_t localOffset = static_cast<uint32_t>(archive.size());

        Put32(archive, 0x04034B50);
        Put16(archive, 20);
        Put16(archive, flags);
        Put16(archive, entry.method);
        Put32(archive, 0x5A2B6000); // some DOS date and time
        Put32(archive, entry.dataDescriptor ? 0 : crc);
        Put32(archive, entry.dataDescriptor ? 0 : compressed);
        Put32(archive, entry.dataDescriptor ? 0 : size);
        Put16(archive, static_cast<uint32_t>(localName.size()));
        Put16(archive, 0);
        archive.insert(archive.end(), localName.begin(), localName.end());
        archive.insert(archive.end(), stored.begin(), stored.end());
        if (entry.dataDescriptor) {
            Put32(archive, 0x08074B50);
            Put32(archive, crc);
            Put32(archive, compressed);
            Put32(archive, size);
        }

        Put32(central, static_cast<int>(i) == options.brokenCentralHeader ? 0x02014B51 : 0x02014B50);
        Put16(central, 20);
        Put16(central, 20);
        Put16(central, flags);
        Put16(central, entry.method);
        Put32(central, 0x5A2B6000);
        Put32(central, crc);
        Put32(central, compressed);
        Put32(central, size);
        Put16(central, static_cast<uint32_t>(entry.name.size()));
        Put16(central, static_cast<uint32_t>(entry.centralExtra.size()));
        Put16(central, 0); // comment
        Put16(central, 0); // disk
        Put16(central, 0); // internal attributes
        Put32(central, 0); // external attributes
        Put32(central, localOffset);
        central.insert(central.end(), entry.name.begin(), entry.name.end());
        central.insert(central.end(), entry.centralExtra.begin(), entry.centralExtra.end());
    }
    uint32_t centralOffset = static_cast<uint32_t>(archive.size());
    archive.insert(archive.end(), central.begin(), central.end());
    uint32_t counted = options.endEntries < 0 ? static_cast<uint32_t>(entries.size())
                                              : static_cast<uint32_t>(options.endEntries);
    Put32(archive, 0x06054B50);
    Put16(archive, options.endDisk);
    Put16(archive, 0);
    Put16(archive, counted);
    Put16(archive, counted);
    Put32(archive, static_cast<uint32_t>(central.size()));
    Put32(archive, centralOffset);
    Put16(archive, static_cast<uint32_t>(options.commentBytes));
    archive.insert(archive.end(), options.commentBytes, 'c');
    archive.insert(archive.end(), options.trailer.begin(), options.trailer.end());

    ByteVector out = options.prefix;
    out.insert(out.end(), archive.begin(), archive.end());
    return out;
}
