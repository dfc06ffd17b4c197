// Language files: loaded into the text store, then every text looked up
// and dialogs localised from them.
#include <windows.h>

#include <cwchar>

#include "base/TextStore.h"
#include "robustness/Layouts.h"
#include "robustness/Targets.h"

namespace {

const unsigned CHILDREN = 10;
const unsigned CANARY = 8;

class CLanguageTarget : public CTarget {
public:
    ~CLanguageTarget() override
    {
        if (m_dialog)
            DestroyWindow(m_dialog);
    }
    bool Prepare(const std::wstring&, std::string& problem) override
    {
        TLanguageSample sample = MakeLanguageSample();
        m_base = sample.bytes;
        m_layout = sample.layout;
        // A window with children stands for a wizard page.
        m_dialog = CreateWindowExW(0, L"STATIC", L"page", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        for (unsigned i = 0; m_dialog && i < CHILDREN; ++i)
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, m_dialog, nullptr, nullptr, nullptr);
        if (!m_dialog) {
            problem = "cannot make the test window";
            return false;
        }
        return true;
    }

    TCaseResult Run(const ByteVector& input, CScratch& scratch) override
    {
        TCaseResult result;
        TextStore store;
        store.SelectLanguage(1049); // not English: dialogs are localised
        // A copy of exactly the case's size, so that reading past the end
        // touches memory that is not the file's.
        ByteVector data(input);
        bool loaded = store.LoadLanguageData(data.empty() ? nullptr : data.data(), data.size());
        for (unsigned id = 95; id < 110; ++id)
            result.problem += CheckText(store, id);
        for (unsigned dialog : {200u, 201u, 202u, 203u}) {
            store.LocalizeDialog(m_dialog, dialog);
            wchar_t text[TextStore::TEXT_CHARS + 2];
            if (GetWindowTextW(m_dialog, text, TextStore::TEXT_CHARS + 2) >= static_cast<int>(TextStore::CAPTION_CHARS))
                result.problem += "a caption longer than its limit; ";
            for (HWND child = GetWindow(m_dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                if (GetWindowTextW(child, text, TextStore::TEXT_CHARS + 2) >= static_cast<int>(TextStore::TEXT_CHARS))
                    result.problem += "a control text longer than its limit; ";
        }
        result.problem += scratch.CheckAndClear(nullptr);
        result.outcome = loaded ? "loaded" : "refused";
        return result;
    }

private:
    // A text in a buffer of full size and in a small one, both followed by
    // bytes that must stay as they were.
    std::string CheckText(TextStore& store, unsigned id)
    {
        std::string problem;
        for (unsigned capacity : {TextStore::TEXT_CHARS, 5u}) {
            wchar_t buffer[TextStore::TEXT_CHARS + CANARY];
            wmemset(buffer, L'#', TextStore::TEXT_CHARS + CANARY);
            store.LoadText(id, buffer, capacity);
            if (wcsnlen(buffer, capacity) == capacity)
                problem += "a text without its terminator; ";
            for (unsigned i = capacity; i < capacity + CANARY; ++i)
                if (buffer[i] != L'#') {
                    problem += "a text written past its buffer; ";
                    break;
                }
        }
        return problem;
    }

    HWND m_dialog = nullptr;
};

} // namespace

std::unique_ptr<CTarget> MakeLanguageTarget()
{
    return std::unique_ptr<CTarget>(new CLanguageTarget);
}
