#pragma once

// Stand-ins for the card tools' collaborators: the shared disk list the
// test edits between commands, and a command layer that records what it is asked. The
// tests' own shell is theirs alone: "sh" is no program the card tools run.

#include "sdcard/TKCardFormat.h"
#include "sdcard/TKExternalCommand.h"
#include "TMKFakeDisks.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

inline const bool kTestShell = (TKSetCommandPathOverride("sh", "/bin/sh"), true);

inline TKCommandResult exitWith(int status, std::string errors = {})
{
    TKCommandResult result;
    result.started = true;
    result.exitStatus = status;
    result.errors = std::move(errors);
    return result;
}

class FakeCommands final : public TKCommandRunner {
public:
    std::vector<TKCommand> log;
    // Answers by program name; a program without one succeeds.
    std::map<std::string, std::function<TKCommandResult(const TKCommand&)>> answers;
    // The erase helper's disks: with them it does its real work in-process,
    // its mkfs.fat coming back through this layer.
    TKDiskSystem* helperDisks = nullptr;

    TKCommandResult run(const TKCommand& command) override
    {
        log.push_back(command);
        if (const auto found = answers.find(command.program); found != answers.end())
            return found->second(command);
        if (command.program == "tamek-erase-card" && helperDisks)
            return runHelper(command);
        TKCommandResult ok;
        ok.started = true;
        ok.exitStatus = 0;
        return ok;
    }
    TKCommandResult runHelper(const TKCommand& command)
    {
        const auto request = TKParseEraseHelperArguments(command.arguments);
        if (!request)
            return exitWith(kTKEraseUsage);
        const TKEraseResult erased = TKEraseIfSameCard(*request, *helperDisks, *this);
        return exitWith(erased.status, erased.errors);
    }

    [[nodiscard]] std::vector<std::string> programs() const
    {
        std::vector<std::string> names;
        for (const auto& command : log)
            names.push_back(command.program);
        return names;
    }
    [[nodiscard]] bool ran(const std::string& program) const
    {
        for (const auto& command : log) {
            if (command.program == program)
                return true;
        }
        return false;
    }
};

