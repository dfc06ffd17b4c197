#include "support/RecordingReport.h"

void CRecordingReport::Step(unsigned row, WORD state)
{
    if (onStep)
        onStep(row, state);
    steps.push_back({row, state});
}

void CRecordingReport::StepProgress(unsigned row, uint64_t done, uint64_t total)
{
    ReportedProgress report = {row, done, total};
    if (onProgress)
        onProgress(report);
    progress.push_back(report);
}
