#include "robustness/Layouts.h"

#include <cstring>
#include <string>

#include "package/PackageFormat.h"

namespace {

uint32_t U32(const ByteVector& bytes, size_t at)
{
    uint32_t value = 0;
    if (at + 4 <= bytes.size())
        memcpy(&value, &bytes[at], 4);
    return value;
}

uint16_t U16(const ByteVector& bytes, size_t at)
{
    uint16_t value = 0;
    if (at + 2 <= bytes.size())
        memcpy(&value, &bytes[at], 2);
    return value;
}

// A size field: what lies after the sized bytes, for "just past the end".
TLayout::TField SizeField(const ByteVector& bytes, size_t offset, unsigned width, size_t sizedEnd)
{
    return {offset, width, sizedEnd < bytes.size() ? bytes.size() - sizedEnd : 0};
}

TLayout::TField PlainField(size_t offset, unsigned width)
{
    return {offset, width, 0};
}

} // namespace

TLayout PackageLayout(const ByteVector& program)
{
    TLayout layout;
    size_t offset = U32(program, PACKAGE_OFFSET_FIELD);
    layout.fields.push_back({PACKAGE_OFFSET_FIELD, 4, program.size() - offset});
    layout.boundaries.push_back(offset);
    while (offset + sizeof(ContainerHeader) <= program.size()) {
        size_t start = offset;
        layout.boundaries.push_back(offset + sizeof(ContainerHeader));
        layout.fields.push_back(PlainField(offset + 16, 4));                        // type
        layout.fields.push_back(PlainField(offset + 22, 2));                        // record count
        layout.fields.push_back(PlainField(offset + 0, 4));                         // magic
        unsigned records = U16(program, offset + 22);
        offset += sizeof(ContainerHeader);
        for (unsigned i = 0; i < records && offset + sizeof(RecordHead) <= program.size(); ++i) {
            uint32_t size = U32(program, offset + 4);
            layout.boundaries.push_back(offset);
            layout.boundaries.push_back(offset + sizeof(RecordHead));
            layout.fields.push_back(PlainField(offset, 4)); // id
            layout.fields.push_back(SizeField(program, offset + 4, 4, offset + sizeof(RecordHead) + size));
            offset += sizeof(RecordHead) + size;
        }
        layout.boundaries.push_back(offset);
        layout.blocks.push_back({start, offset - start});
    }
    return layout;
}

TLayout ZipLayout(const ByteVector& zip)
{
    TLayout layout;
    // The end record: the last "PK\5\6".
    size_t end = zip.size() >= 22 ? zip.size() - 22 : 0;
    while (end > 0 && U32(zip, end) != 0x06054B50)
        --end;
    if (U32(zip, end) != 0x06054B50)
        return layout;
    layout.boundaries.push_back(end);
    layout.boundaries.push_back(zip.size());
    uint32_t directorySize = U32(zip, end + 12), directory = U32(zip, end + 16);
    layout.fields.push_back(PlainField(end + 8, 2));  // entries on this disk
    layout.fields.push_back(PlainField(end + 10, 2)); // entries
    layout.fields.push_back(SizeField(zip, end + 12, 4, directory + directorySize));
    layout.fields.push_back({end + 16, 4, zip.size() - directory});
    layout.fields.push_back(SizeField(zip, end + 20, 2, zip.size()));

    unsigned entries = U16(zip, end + 10);
    size_t header = directory;
    for (unsigned i = 0; i < entries && header + 46 <= zip.size() && U32(zip, header) == 0x02014B50; ++i) {
        uint32_t compressed = U32(zip, header + 20);
        size_t nameLength = U16(zip, header + 28), extra = U16(zip, header + 30), comment = U16(zip, header + 32);
        size_t local = U32(zip, header + 42);
        size_t next = header + 46 + nameLength + extra + comment;
        layout.boundaries.push_back(header);
        layout.boundaries.push_back(header + 46);
        for (size_t at : {8, 10, 16})
            layout.fields.push_back(PlainField(header + at, at == 16 ? 4 : 2)); // flags, method, CRC
        layout.fields.push_back(PlainField(header + 24, 4));                     // uncompressed size
        layout.fields.push_back(SizeField(zip, header + 28, 2, header + 46 + nameLength));
        layout.fields.push_back(SizeField(zip, header + 30, 2, header + 46 + nameLength + extra));
        layout.fields.push_back({header + 42, 4, zip.size() - local});
        layout.blocks.push_back({header, next - header});
        if (local + 30 <= zip.size() && U32(zip, local) == 0x04034B50) {
            size_t data = local + 30 + U16(zip, local + 26) + U16(zip, local + 28);
            layout.boundaries.push_back(local);
            layout.boundaries.push_back(data);
            layout.boundaries.push_back(data + compressed);
            layout.fields.push_back(SizeField(zip, header + 20, 4, data + compressed));
            layout.fields.push_back(SizeField(zip, local + 18, 4, data + compressed));
            layout.fields.push_back(PlainField(local + 22, 4));
            layout.fields.push_back(SizeField(zip, local + 26, 2, local + 30 + U16(zip, local + 26)));
            layout.fields.push_back(PlainField(local + 8, 2));
            layout.blocks.push_back({local, data + compressed - local});
        }
        header = next;
    }
    return layout;
}

namespace {

class CLanguageWriter {
public:
    explicit CLanguageWriter(TLanguageSample& sample) : m_sample(sample) {}

    size_t Size() const { return m_sample.bytes.size(); }
    void U32(uint32_t value, bool field = true)
    {
        if (field)
            m_sample.layout.fields.push_back({Size(), 4, 0});
        Append(&value, 4);
    }
    void Text(const std::wstring& text)
    {
        uint16_t bytes = static_cast<uint16_t>(text.size() * 2), unused = 0;
        size_t head = Size();
        m_sample.layout.boundaries.push_back(head);
        Append(&bytes, 2);
        Append(&unused, 2);
        Append(text.data(), bytes);
        m_sample.layout.fields.push_back({head, 2, 0});
    }
    void BeginBlock(uint32_t kind, uint32_t id, uint32_t count)
    {
        m_blockStart = Size();
        m_sample.layout.boundaries.push_back(m_blockStart);
        U32(kind);
        U32(id);
        U32(count);
    }
    void EndBlock() { m_sample.layout.blocks.push_back({m_blockStart, Size() - m_blockStart}); }
    // Once everything is written: how far each text length is from the end.
    void Finish()
    {
        m_sample.layout.boundaries.push_back(Size());
        for (TLayout::TField& field : m_sample.layout.fields)
            if (field.width == 2) {
                uint16_t length = 0;
                memcpy(&length, &m_sample.bytes[field.offset], 2);
                field.sizedFrom = Size() - (field.offset + 4 + length);
            }
    }

private:
    void Append(const void* data, size_t size)
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        m_sample.bytes.insert(m_sample.bytes.end(), p, p + size);
    }

    TLanguageSample& m_sample;
    size_t m_blockStart = 0;
};

} // namespace

TLanguageSample MakeLanguageSample()
{
    TLanguageSample sample;
    CLanguageWriter file(sample);
    file.U32(0x00010000, false);
    file.U32(3); // dialogs
    file.U32(2); // item lists
    file.Text(L"Test language");
    file.BeginBlock(0, 0, 6);
    const wchar_t* texts[] = {L"Install", L"Line one\\nLine two\\tTabbed", L"", L"100% \\r done",
                              L"Escape at the end \\", nullptr};
    for (unsigned i = 0; i < 6; ++i) {
        file.U32(100 + i);
        file.Text(texts[i] ? texts[i] : std::wstring(511, L'x')); // fills a text to the last character
    }
    file.EndBlock();
    for (uint32_t dialog : {201u, 202u, 203u}) {
        file.BeginBlock(1, dialog, 4);
        file.U32(0xFFFFFFFF, false);
        file.Text(dialog == 202 ? std::wstring(127, L'c') : L"Caption " + std::to_wstring(dialog));
        for (uint32_t ordinal : {1u, 2u, 4u, 8u}) {
            file.U32(ordinal);
            file.Text(L"Control " + std::to_wstring(ordinal));
        }
        file.EndBlock();
    }
    for (uint32_t list : {301u, 302u}) {
        file.BeginBlock(2, list, 3);
        file.U32(0);
        file.Text(list == 302 ? std::wstring(63, L'i') : L"First item");
        file.U32(1);
        file.U32(2);
        file.EndBlock();
    }
    file.Finish();
    return sample;
}
