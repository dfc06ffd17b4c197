#include "VersionResource.h"

#include <algorithm>

#include "TextCodec.h"

namespace {

const size_t BLOCK_HEADER_BYTES = 6;
const uint16_t BINARY_VALUE = 0;
const uint16_t TEXT_VALUE = 1;
const uint32_t FIXED_INFO_SIGNATURE = 0xFEEF04BD;
const size_t FIXED_INFO_BYTES = 13 * 4;
const uint32_t FIXED_INFO_STRUCTURE_VERSION = 0x00010000;
const uint32_t FILE_FLAGS_MASK = 0x3F;
const uint32_t VOS_NT_WINDOWS32 = 0x00040004;
const uint32_t VFT_APP = 1;
// U.S. English, and the UTF-16 code page.
const uint16_t TABLE_LANGUAGE = 0x0409;
const uint16_t TABLE_CODE_PAGE = 1200;
const char16_t TABLE_KEY[] = u"040904B0";

size_t Align4(size_t value)
{
    return (value + 3) & ~size_t(3);
}

void AppendU16(Bytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put16(Bytes& out, size_t at, uint16_t value)
{
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PadTo4(Bytes& out)
{
    out.resize(Align4(out.size()), 0);
}

// A block: wLength, wValueLength, wType, the key with its null, padding,
// the value, then each child on a 4-byte boundary. Every block starts on
// such a boundary of the whole resource, so padding counted from the
// block's start is padding counted from the resource's. wLength leaves out
// padding after the block's end.
Bytes Block(const std::u16string& key, uint16_t type, uint16_t valueLength, const Bytes& value,
            const std::vector<Bytes>& children)
{
    Bytes out(BLOCK_HEADER_BYTES, 0);
    for (char16_t unit : key)
        AppendU16(out, static_cast<uint16_t>(unit));
    AppendU16(out, 0);
    PadTo4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        PadTo4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    Put16(out, 0, static_cast<uint16_t>(out.size()));
    Put16(out, 2, valueLength);
    Put16(out, 4, type);
    return out;
}

// The text up to any null, at most MAX_VERSION_TEXT units, not splitting a
// surrogate pair.
std::u16string Clipped(const std::u16string& text)
{
    std::u16string out = text.substr(0, text.find(u'\0'));
    if (out.size() > MAX_VERSION_TEXT) {
        out.resize(MAX_VERSION_TEXT);
        if (out.back() >= 0xD800 && out.back() <= 0xDBFF)
            out.pop_back();
    }
    return out;
}

// A String: the value in UTF-16 with its null, its length in units.
Bytes StringBlock(const std::u16string& key, const std::u16string& text)
{
    std::u16string value = Clipped(text);
    Bytes bytes;
    for (char16_t unit : value)
        AppendU16(bytes, static_cast<uint16_t>(unit));
    AppendU16(bytes, 0);
    return Block(key, TEXT_VALUE, static_cast<uint16_t>(value.size() + 1), bytes, {});
}

VersionNumbers NumbersOf(const std::u16string& text)
{
    VersionNumbers numbers = {};
    if (!ParseVersionNumbers(ToUtf8(text), numbers))
        numbers = {};
    return numbers;
}

uint32_t High(const VersionNumbers& numbers)
{
    return uint32_t(numbers[0]) << 16 | numbers[1];
}

uint32_t Low(const VersionNumbers& numbers)
{
    return uint32_t(numbers[2]) << 16 | numbers[3];
}

Bytes FixedInfo(const VersionNumbers& file, const VersionNumbers& product)
{
    Bytes out;
    for (uint32_t value : {FIXED_INFO_SIGNATURE, FIXED_INFO_STRUCTURE_VERSION, High(file), Low(file), High(product),
                           Low(product), FILE_FLAGS_MASK, 0u, VOS_NT_WINDOWS32, VFT_APP, 0u, 0u, 0u})
        AppendU32(out, value);
    return out;
}

// A block as read: where it, its value and its children lie in the data.
struct ReadBlockInfo {
    size_t end = 0;
    std::u16string key;
    uint16_t type = 0;
    uint16_t valueLength = 0;
    size_t valueAt = 0;
    size_t valueBytes = 0;
    size_t childrenAt = 0;
};

std::string At(size_t offset)
{
    return "at byte " + std::to_string(offset);
}

// The block at `at`, which must end by `limit` (its parent's end).
bool ReadBlock(const Bytes& data, size_t at, size_t limit, ReadBlockInfo& block, std::string& error)
{
    if (at + BLOCK_HEADER_BYTES > limit) {
        error = "the version block " + At(at) + " is cut short inside its header";
        return false;
    }
    size_t length = ReadU16(data.data() + at);
    block.valueLength = ReadU16(data.data() + at + 2);
    block.type = ReadU16(data.data() + at + 4);
    if (length < BLOCK_HEADER_BYTES + 2 || at + length > limit) {
        error = "the version block " + At(at) + " says it is " + std::to_string(length) + " bytes long, but " +
                std::to_string(limit - at) + " are left for it";
        return false;
    }
    block.end = at + length;
    if (block.type != BINARY_VALUE && block.type != TEXT_VALUE) {
        error = "the version block " + At(at) + " has an unknown value type " + std::to_string(block.type);
        return false;
    }
    block.key.clear();
    size_t pos = at + BLOCK_HEADER_BYTES;
    for (;; pos += 2) {
        if (pos + 2 > block.end) {
            error = "the name of the version block " + At(at) + " has no end inside the block";
            return false;
        }
        char16_t unit = static_cast<char16_t>(ReadU16(data.data() + pos));
        if (unit == 0)
            break;
        block.key.push_back(unit);
    }
    block.valueBytes = block.type == TEXT_VALUE ? size_t(block.valueLength) * 2 : block.valueLength;
    block.valueAt = block.valueBytes == 0 ? std::min(Align4(pos + 2), block.end) : Align4(pos + 2);
    if (block.valueAt + block.valueBytes > block.end) {
        error = "the value of the version block \"" + ToUtf8(block.key) + "\" " + At(at) +
                " runs past the block's end";
        return false;
    }
    block.childrenAt = block.valueAt + block.valueBytes;
    return true;
}

// Each child of `parent` in turn, each on a 4-byte boundary.
template <typename Visit>
bool ForEachChild(const Bytes& data, const ReadBlockInfo& parent, std::string& error, Visit visit)
{
    for (size_t at = Align4(parent.childrenAt); at < parent.end;) {
        ReadBlockInfo child;
        if (!ReadBlock(data, at, parent.end, child, error) || !visit(child))
            return false;
        at = Align4(child.end);
    }
    return true;
}

std::u16string TextValue(const Bytes& data, const ReadBlockInfo& block)
{
    std::u16string text = Utf16LeToString(data.data() + block.valueAt, block.valueBytes);
    return text.substr(0, text.find(u'\0'));
}

bool ReadFixedInfo(const Bytes& data, const ReadBlockInfo& root, VersionInfo& info, std::string& error)
{
    if (root.valueBytes == 0)
        return true;
    const uint8_t* p = data.data() + root.valueAt;
    if (root.valueBytes != FIXED_INFO_BYTES || ReadU32(p) != FIXED_INFO_SIGNATURE) {
        error = "the version resource's fixed part is not a VS_FIXEDFILEINFO";
        return false;
    }
    auto numbers = [&](size_t at) {
        uint32_t high = ReadU32(p + at), low = ReadU32(p + at + 4);
        return VersionNumbers{static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high),
                              static_cast<uint16_t>(low >> 16), static_cast<uint16_t>(low)};
    };
    info.hasFixedInfo = true;
    info.fileVersion = numbers(8);
    info.productVersion = numbers(16);
    info.fileFlags = ReadU32(p + 28);
    info.fileOs = ReadU32(p + 32);
    info.fileType = ReadU32(p + 36);
    return true;
}

} // namespace

bool ParseVersionNumbers(const std::string& text, VersionNumbers& numbers)
{
    VersionNumbers read = {};
    size_t part = 0, digits = 0;
    uint32_t value = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || value > 0xFFFF || part == read.size())
                return false;
            read[part++] = static_cast<uint16_t>(value);
            digits = 0;
            value = 0;
        } else if (text[i] >= '0' && text[i] <= '9' && digits < 5) {
            value = value * 10 + uint32_t(text[i] - '0');
            ++digits;
        } else {
            return false;
        }
    }
    numbers = read;
    return true;
}

std::string VersionNumbersText(const VersionNumbers& numbers)
{
    return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]) + "." +
           std::to_string(numbers[3]);
}

bool CheckVersionStrings(const VersionStrings& strings, std::string& error)
{
    VersionNumbers numbers;
    for (const std::u16string* version : {&strings.fileVersion, &strings.productVersion})
        if (!ParseVersionNumbers(ToUtf8(*version), numbers)) {
            error = "version \"" + ToUtf8(*version) +
                    "\" is not one to four numbers from 0 to 65535 separated by dots (\"2.4.1\")";
            return false;
        }
    for (const std::u16string* text : {&strings.companyName, &strings.fileDescription, &strings.fileVersion,
                                       &strings.productName, &strings.productVersion}) {
        if (text->find(u'\0') != std::u16string::npos) {
            error = "\"" + ToUtf8(*text) + "\" holds a null character";
            return false;
        }
        if (text->size() > MAX_VERSION_TEXT) {
            error = "\"" + ToUtf8(text->substr(0, 40)) + "...\" is longer than " + std::to_string(MAX_VERSION_TEXT) +
                    " characters";
            return false;
        }
    }
    return true;
}

Bytes MakeVersionResource(const VersionStrings& strings)
{
    Bytes table = Block(TABLE_KEY, TEXT_VALUE, 0, {},
                        {StringBlock(u"CompanyName", strings.companyName),
                         StringBlock(u"FileDescription", strings.fileDescription),
                         StringBlock(u"FileVersion", strings.fileVersion),
                         StringBlock(u"ProductName", strings.productName),
                         StringBlock(u"ProductVersion", strings.productVersion)});
    Bytes translation;
    AppendU32(translation, uint32_t(TABLE_CODE_PAGE) << 16 | TABLE_LANGUAGE);
    Bytes var = Block(u"Translation", BINARY_VALUE, static_cast<uint16_t>(translation.size()), translation, {});
    return Block(u"VS_VERSION_INFO", BINARY_VALUE, static_cast<uint16_t>(FIXED_INFO_BYTES),
                 FixedInfo(NumbersOf(strings.fileVersion), NumbersOf(strings.productVersion)),
                 {Block(u"StringFileInfo", TEXT_VALUE, 0, {}, {table}),
                  Block(u"VarFileInfo", TEXT_VALUE, 0, {}, {var})});
}

ResourceEntry VersionResourceEntry(const VersionStrings& strings)
{
    ResourceEntry entry;
    entry.type = ResourceId::Number(RESOURCE_TYPE_VERSION);
    entry.name = ResourceId::Number(VERSION_RESOURCE_NAME);
    entry.language = VERSION_RESOURCE_LANGUAGE;
    entry.data = MakeVersionResource(strings);
    return entry;
}

bool ReadVersionResource(const Bytes& data, VersionInfo& info, std::string& error)
{
    info = VersionInfo();
    ReadBlockInfo root;
    if (data.size() >= 2 && ReadU16(data.data()) > data.size()) {
        error = "the version resource says it is " + std::to_string(ReadU16(data.data())) + " bytes long, but " +
                std::to_string(data.size()) + " are there";
        return false;
    }
    if (!ReadBlock(data, 0, data.size(), root, error))
        return false;
    if (root.key != u"VS_VERSION_INFO") {
        error = "the version resource does not begin with a VS_VERSION_INFO block";
        return false;
    }
    if (!ReadFixedInfo(data, root, info, error))
        return false;
    bool tableRead = false;
    return ForEachChild(data, root, error, [&](const ReadBlockInfo& part) {
        if (part.key == u"StringFileInfo")
            return ForEachChild(data, part, error, [&](const ReadBlockInfo& table) {
                bool first = !tableRead;
                tableRead = true;
                if (first)
                    info.tableKey = table.key;
                return ForEachChild(data, table, error, [&](const ReadBlockInfo& text) {
                    if (first)
                        info.strings.emplace_back(text.key, TextValue(data, text));
                    return true;
                });
            });
        if (part.key == u"VarFileInfo")
            return ForEachChild(data, part, error, [&](const ReadBlockInfo& var) {
                if (var.key == u"Translation")
                    for (size_t at = 0; at + 4 <= var.valueBytes; at += 4)
                        info.translations.push_back(ReadU32(data.data() + var.valueAt + at));
                return true;
            });
        return true;
    });
}
