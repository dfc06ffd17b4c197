// Progress of long work on stderr: a line that updates in place on a
// terminal, a few lines otherwise. Quiet for work that takes no time.
#pragma once

#include <cstdint>
#include <string>

class CProgress {
public:
    // Nothing is shown unless `total` reaches `threshold`.
    CProgress(std::string what, uint64_t total, uint64_t threshold);
    ~CProgress();
    void Update(uint64_t done);
    void Finish();

private:
    std::string m_what;
    uint64_t m_total;
    bool m_shown;
    bool m_terminal;
    int m_lastPercent = -1;
    bool m_finished = false;
};
