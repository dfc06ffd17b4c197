// Copies the program archive of an installer out as a plain ZIP, so that
// the benchmarks can time `unzip -q` on the very archive the setup program
// extracts; read and descrambled a megabyte at a time.
//   installer_archive INSTALLER OUT.zip
#include <cstdio>
#include <cstring>
#include <vector>

#include "package/PackageFormat.h"

namespace {

bool ReadAt(FILE* file, uint64_t offset, void* buffer, size_t bytes)
{
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 && fread(buffer, 1, bytes, file) == bytes;
}

int Fail(const char* what)
{
    fprintf(stderr, "installer_archive: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: installer_archive INSTALLER OUT.zip\n");
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (!in)
        return Fail("cannot open the installer");
    uint8_t dos[DOS_HEADER_BYTES];
    uint32_t offset32 = 0;
    if (!ReadAt(in, 0, dos, sizeof(dos)))
        return Fail("no DOS header");
    memcpy(&offset32, dos + PACKAGE_OFFSET_FIELD, 4);
    uint64_t at = offset32;
    // The containers one after the other; the core container's archive record.
    ContainerHeader header;
    while (ReadAt(in, at, &header, sizeof(header)) && header.IsValid(CONTAINER_MAX_TYPE)) {
        at += sizeof(header);
        for (unsigned i = 0; i < header.recordCount; ++i) {
            RecordHead head;
            if (!ReadAt(in, at, &head, sizeof(head)))
                return Fail("a record head cannot be read");
            at += sizeof(head);
            if (header.type == CONTAINER_CORE && head.id == RECORD_ARCHIVE) {
                FILE* out = fopen(argv[2], "wb");
                if (!out)
                    return Fail("cannot create the output");
                uint8_t key[SCRAMBLE_KEY_BYTES];
                GetRecordKey(key);
                std::vector<uint8_t> piece(1 << 20);
                uint8_t previous = 0;
                for (uint64_t done = 0; done < head.size;) {
                    size_t bytes = head.size - done < piece.size() ? static_cast<size_t>(head.size - done) : piece.size();
                    if (!ReadAt(in, at + done, piece.data(), bytes))
                        return Fail("the archive is cut short");
                    uint8_t last = piece[bytes - 1];
                    DescrambleRecordFrom(piece.data(), static_cast<ptrdiff_t>(bytes), key, done, previous);
                    previous = last;
                    if (fwrite(piece.data(), 1, bytes, out) != bytes)
                        return Fail("cannot write the output");
                    done += bytes;
                }
                fclose(in);
                return fclose(out) == 0 ? 0 : Fail("cannot write the output");
            }
            at += head.size;
        }
    }
    return Fail("no program archive in the installer");
}
