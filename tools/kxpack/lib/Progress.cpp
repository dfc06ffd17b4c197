#include "Progress.h"

#include <cstdio>
#include <unistd.h>

CProgress::CProgress(std::string what, uint64_t total, uint64_t threshold)
    : m_what(std::move(what)), m_total(total), m_shown(total >= threshold && total > 0),
      m_terminal(isatty(fileno(stderr)) != 0)
{
    Update(0);
}

CProgress::~CProgress()
{
    Finish();
}

void CProgress::Update(uint64_t done)
{
    if (!m_shown || m_finished)
        return;
    int percent = static_cast<int>(done * 100 / m_total);
    if (percent > 100)
        percent = 100;
    // A terminal gets every percent; a log one line each quarter.
    int step = m_terminal ? 1 : 25;
    if (percent / step == m_lastPercent / step && m_lastPercent >= 0)
        return;
    m_lastPercent = percent;
    if (m_terminal)
        fprintf(stderr, "\rkxpack: %s %3d%%", m_what.c_str(), percent);
    else
        fprintf(stderr, "kxpack: %s %d%%\n", m_what.c_str(), percent);
    fflush(stderr);
}

void CProgress::Finish()
{
    if (!m_shown || m_finished)
        return;
    Update(m_total);
    m_finished = true;
    if (m_terminal)
        fputc('\n', stderr);
}
