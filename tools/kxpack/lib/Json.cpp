#include "Json.h"

#include <cstdio>

#include "ShownText.h"

void CJsonWriter::Key(const char* key)
{
    if (!m_first.empty()) {
        if (!m_first.back())
            m_text += ",";
        m_first.back() = false;
        m_text += "\n" + std::string(m_first.size() * 2, ' ');
    }
    if (key)
        m_text += Quote(key) + ": ";
}

// Always UTF-8: text that is not (a damaged name, a file name in other
// bytes) is given in the text form of ShownText.h. Control characters, and
// what could hide the text around it on a terminal, are escaped as \uXXXX.
std::string CJsonWriter::Quote(const std::string& text)
{
    const std::string& utf8 = IsUtf8(text) ? text : ShownText(text);
    std::string out = "\"";
    for (size_t at = 0; at < utf8.size(); ++at) {
        unsigned char ch = static_cast<unsigned char>(utf8[at]);
        unsigned next = at + 1 < utf8.size() ? static_cast<unsigned char>(utf8[at + 1]) : 0;
        unsigned third = at + 2 < utf8.size() ? static_cast<unsigned char>(utf8[at + 2]) : 0;
        unsigned code = 0;
        size_t length = 1;
        if (ch < 0x20 || ch == 0x7F) {
            code = ch;
        } else if (ch == 0xC2 && next < 0xA0) { // U+0080 to U+009F
            code = next;
            length = 2;
        } else if (ch == 0xE2 && next == 0x80 && third >= 0xA8 && third <= 0xAE) { // U+2028 to U+202E
            code = 0x2000 + (third & 0x3F);
            length = 3;
        } else if (ch == 0xE2 && next == 0x81 && third >= 0xA6 && third <= 0xA9) { // U+2066 to U+2069
            code = 0x2040 + (third & 0x3F);
            length = 3;
        } else {
            length = 0;
        }
        switch (ch) {
        case '"': out += "\\\""; continue;
        case '\\': out += "\\\\"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        default: break;
        }
        if (length) {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04x", code);
            out += escaped;
            at += length - 1;
        } else {
            out.push_back(static_cast<char>(ch));
        }
    }
    return out + "\"";
}

CJsonWriter& CJsonWriter::BeginObject(const char* key)
{
    Key(key);
    m_text += "{";
    m_first.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndObject()
{
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty)
        m_text += "\n" + std::string(m_first.size() * 2, ' ');
    m_text += "}";
    if (m_first.empty())
        m_text += "\n";
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray(const char* key)
{
    Key(key);
    m_text += "[";
    m_first.push_back(true);
    return *this;
}

CJsonWriter& CJsonWriter::EndArray()
{
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty)
        m_text += "\n" + std::string(m_first.size() * 2, ' ');
    m_text += "]";
    return *this;
}

CJsonWriter& CJsonWriter::String(const char* key, const std::string& value)
{
    Key(key);
    m_text += Quote(value);
    return *this;
}

CJsonWriter& CJsonWriter::Number(const char* key, int64_t value)
{
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(const char* key, bool value)
{
    Key(key);
    m_text += value ? "true" : "false";
    return *this;
}

CJsonWriter& CJsonWriter::Null(const char* key)
{
    Key(key);
    m_text += "null";
    return *this;
}
