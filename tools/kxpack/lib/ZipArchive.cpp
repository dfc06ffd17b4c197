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
#include "Progress.h"

namespace {

const uint64_t ZIP32_LIMIT = 0xFFFFFFFFull;
const uint64_t PROGRESS_THRESHOLD = 8u << 20;

struct FolderItem {
    std::string path;
    std::string name;
    bool folder;
    uint64_t size;
};

bool Walk(const std::string& root, const std::string& prefix, std::vector<FolderItem>& items,
          std::string& error)
{
    std::string dirPath = prefix.empty() ? root : root + "/" + prefix;
    std::vector<std::string> names;
    if (!ListFolder(dirPath, names, error))
        return false;
    for (const auto& name : names) {
        std::string relative = prefix.empty() ? name : prefix + "/" + name;
        std::string path = root + "/" + relative;
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            error = path + ": cannot read it";
            return false;
        }
        bool folder = S_ISDIR(info.st_mode);
        if (!folder && !S_ISREG(info.st_mode)) {
            error = path + ": neither a file nor a folder";
            return false;
        }
        std::string problem = EntryNameProblem(relative + (folder ? "/" : ""));
        if (!problem.empty()) {
            error = root + ": " + problem;
            return false;
        }
        items.push_back({path, folder ? relative + "/" : relative, folder,
                         folder ? 0 : static_cast<uint64_t>(info.st_size)});
        if (folder && !Walk(root, relative, items, error))
            return false;
    }
    return true;
}

void OnZipProgress(zip_t*, double done, void* state)
{
    static_cast<CProgress*>(state)->Update(static_cast<uint64_t>(done * 1000));
}

// Writes the archive with libzip into a scratch file, then takes its bytes.
class CZipWriter {
public:
    // The archive is written into a scratch file beside `nearPath`.
    bool Open(const std::string& nearPath, std::string& error)
    {
        if (!MakeScratchFile(nearPath, m_path, error))
            return false;
        int code = 0;
        m_zip = zip_open(m_path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
        if (!m_zip) {
            zip_error_t zerror;
            zip_error_init_with_code(&zerror, code);
            error = m_path + ": " + zip_error_strerror(&zerror);
            zip_error_fini(&zerror);
            return false;
        }
        return true;
    }
    ~CZipWriter()
    {
        if (m_zip)
            zip_discard(m_zip);
        if (!m_path.empty())
            unlink(m_path.c_str());
    }
    bool AddFolder(const std::string& name, std::string& error)
    {
        return Check(zip_dir_add(m_zip, name.c_str(), ZIP_FL_ENC_UTF_8) >= 0, name, error);
    }
    bool AddFile(const std::string& name, const std::string& path, std::string& error)
    {
        zip_source_t* source = zip_source_file(m_zip, path.c_str(), 0, -1);
        return AddSource(name, source, error);
    }
    bool AddMemory(const std::string& name, const Bytes& data, std::string& error)
    {
        zip_source_t* source = zip_source_buffer(m_zip, data.data(), data.size(), 0);
        return AddSource(name, source, error);
    }
    bool Close(const std::string& what, uint64_t totalBytes, Bytes& zip, std::string& error)
    {
        CProgress progress(what, 1000, totalBytes >= PROGRESS_THRESHOLD ? 0 : 1001);
        zip_register_progress_callback_with_state(m_zip, 0.01, OnZipProgress, nullptr, &progress);
        if (zip_close(m_zip) != 0) {
            error = m_path + ": " + zip_strerror(m_zip);
            return false;
        }
        m_zip = nullptr;
        progress.Finish();
        return ReadWholeFile(m_path, zip, error);
    }

private:
    bool AddSource(const std::string& name, zip_source_t* source, std::string& error)
    {
        if (!source)
            return Check(false, name, error);
        zip_int64_t index = zip_file_add(m_zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return Check(false, name, error);
        }
        return Check(zip_set_file_compression(m_zip, static_cast<zip_uint64_t>(index),
                                              ZIP_CM_DEFLATE, 9) == 0,
                     name, error);
    }
    bool Check(bool ok, const std::string& name, std::string& error)
    {
        if (!ok)
            error = name + ": " + zip_strerror(m_zip);
        return ok;
    }

    zip_t* m_zip = nullptr;
    std::string m_path;
};

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

bool ZipFolder(const std::string& folder, const std::string& nearPath, Bytes& zip,
               std::string& error)
{
    if (!IsDirectory(folder)) {
        error = folder + ": not a folder";
        return false;
    }
    std::vector<FolderItem> items;
    if (!Walk(folder, "", items, error))
        return false;
    std::vector<std::string> names;
    for (const auto& item : items)
        names.push_back(item.name);
    std::string collision = EntryCollisionProblem(names);
    if (!collision.empty()) {
        error = folder + ": " + collision;
        return false;
    }
    uint64_t totalBytes = 0;
    bool anyFile = false;
    for (const auto& item : items) {
        totalBytes += item.size;
        anyFile |= !item.folder;
        if (item.size >= ZIP32_LIMIT) {
            error = item.path + ": files of 4 GB and more cannot be installed";
            return false;
        }
    }
    if (!anyFile) {
        error = folder + ": holds no files";
        return false;
    }
    CZipWriter writer;
    if (!writer.Open(nearPath, error))
        return false;
    for (const auto& item : items) {
        bool added = item.folder ? writer.AddFolder(item.name, error)
                                 : writer.AddFile(item.name, item.path, error);
        if (!added)
            return false;
    }
    return writer.Close("compressing " + folder, totalBytes, zip, error);
}

bool ZipMemory(const std::vector<ZipInput>& inputs, const std::string& nearPath, Bytes& zip,
               std::string& error)
{
    CZipWriter writer;
    if (!writer.Open(nearPath, error))
        return false;
    for (const auto& input : inputs) {
        std::string problem = EntryNameProblem(input.name);
        if (!problem.empty()) {
            error = problem;
            return false;
        }
        if (!writer.AddMemory(input.name, input.data, error))
            return false;
    }
    return writer.Close("compressing", 0, zip, error);
}

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
        std::string problem = EntryNameProblem(entry.name);
        if (!problem.empty())
            return problem;
    }
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name);
    return EntryCollisionProblem(names);
}
