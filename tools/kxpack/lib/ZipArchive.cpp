#include "ZipArchive.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "EntryNames.h"
#include "FileIo.h"

namespace {

const uint64_t ZIP32_LIMIT = 0xFFFFFFFFull;

// libzip over a buffer in memory, read-only.
class CZipReader {
public:
    bool Open(const Bytes& zip, std::string& error)
    {
        zip_error_t zerror;
        zip_error_init(&zerror);
        zip_source_t* source = zip_source_buffer_create(zip.data(), zip.size(), 0, &zerror);
        if (source)
            m_zip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &zerror);
        if (!m_zip) {
            error = std::string("not a readable ZIP archive: ") + zip_error_strerror(&zerror);
            if (source)
                zip_source_free(source);
        }
        zip_error_fini(&zerror);
        return m_zip != nullptr;
    }
    ~CZipReader()
    {
        if (m_zip)
            zip_discard(m_zip);
    }
    zip_t* Get() const { return m_zip; }

private:
    zip_t* m_zip = nullptr;
};

} // namespace

bool ListZip(const Bytes& zip, std::vector<ZipEntry>& entries, std::string& error)
{
    entries.clear();
    CZipReader reader;
    if (!reader.Open(zip, error))
        return false;
    zip_int64_t count = zip_get_num_entries(reader.Get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(reader.Get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &stat) != 0) {
            error = std::string("entry ") + std::to_string(i) + ": " + zip_strerror(reader.Get());
            return false;
        }
        ZipEntry entry;
        entry.name = stat.name ? stat.name : "";
        entry.size = stat.size;
        entry.compressedSize = stat.comp_size;
        entry.method = stat.comp_method;
        entry.encrypted = stat.encryption_method != ZIP_EM_NONE;
        entries.push_back(entry);
    }
    return true;
}

bool ReadZipEntry(const Bytes& zip, const std::string& name, Bytes& data, std::string& error)
{
    CZipReader reader;
    if (!reader.Open(zip, error))
        return false;
    zip_stat_t stat;
    zip_file_t* file = nullptr;
    if (zip_stat(reader.Get(), name.c_str(), ZIP_FL_ENC_RAW, &stat) == 0)
        file = zip_fopen(reader.Get(), name.c_str(), ZIP_FL_ENC_RAW);
    if (!file) {
        error = name + ": " + zip_strerror(reader.Get());
        return false;
    }
    data.resize(stat.size);
    zip_int64_t got = stat.size ? zip_fread(file, data.data(), stat.size) : 0;
    zip_fclose(file);
    if (got != static_cast<zip_int64_t>(stat.size)) {
        error = name + ": cannot be read back";
        return false;
    }
    return true;
}

std::string CheckZipForSetup(const Bytes& zip)
{
    std::vector<ZipEntry> entries;
    std::string error;
    if (!ListZip(zip, entries, error))
        return error;
    if (entries.empty())
        return "the archive has no entries";
    if (zip.size() >= ZIP32_LIMIT || entries.size() >= 0xFFFF)
        return "the archive needs ZIP64, which the setup program does not read";
    for (const auto& entry : entries) {
        if (entry.method != ZIP_CM_STORE && entry.method != ZIP_CM_DEFLATE)
            return "\"" + entry.name + "\": compression method " + std::to_string(entry.method) +
                   " (only stored and deflated entries can be extracted)";
        if (entry.encrypted)
            return "\"" + entry.name + "\": encrypted entries cannot be extracted";
        if (entry.size >= ZIP32_LIMIT || entry.compressedSize >= ZIP32_LIMIT)
            return "\"" + entry.name + "\": needs ZIP64, which the setup program does not read";
        if (entry.size > MAX_ENTRY_BYTES)
            return "\"" + entry.name + "\": files over " + std::to_string(MAX_ENTRY_BYTES) +
                   " bytes (2 GB) cannot be installed";
        std::string problem = EntryNameProblem(entry.name);
        if (!problem.empty())
            return problem;
    }
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name);
    return EntryCollisionProblem(names);
}
