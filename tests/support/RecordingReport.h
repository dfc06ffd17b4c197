// A CRunReport that records every call, for driving the engines without
// windows; tests may stop a run from inside a report.
#pragma once

#include <functional>
#include <vector>

#include "install/RunReport.h"

struct ReportedStep {
    unsigned row;
    WORD state;
    bool operator==(const ReportedStep& other) const { return row == other.row && state == other.state; }
};

struct ReportedProgress {
    unsigned row;
    uint64_t done;
    uint64_t total;
};

class CRecordingReport : public CRunReport {
public:
    std::vector<ReportedStep> steps;
    std::vector<ReportedProgress> progress;
    std::vector<DWORD> errors;
    std::vector<unsigned> warnings;
    int finishedCalls = 0;
    bool succeeded = false;
    // Called before a step or a progress report is recorded.
    std::function<void(unsigned row, WORD state)> onStep;
    std::function<void(const ReportedProgress&)> onProgress;

    void StepStarted(unsigned row) override { Step(row, StepRunning); }
    void StepDone(unsigned row) override { Step(row, ::StepDone); }
    void StepFailed(unsigned row) override { Step(row, ::StepFailed); }
    void StepProgress(unsigned row, uint64_t done, uint64_t total) override;
    void Error(DWORD code) override { errors.push_back(code); }
    void Warning(unsigned textId) override { warnings.push_back(textId); }
    void Finished(bool ok) override
    {
        ++finishedCalls;
        succeeded = ok;
    }

private:
    void Step(unsigned row, WORD state);
};
