#pragma once
#include <gtest/gtest.h>

#include <string>

#include "app/commands.h"
#include "shell/program.h"
#include "support/fake_services.h"
#include "support/scripted_dialogs.h"
#include "support/treatment_files.h"

namespace lumera::test {

// A loaded program working in a folder of the test's own, with scripted
// dialogs, a clock that stands still and queued random draws.
class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() : folder(testName()), program(dialogs, clock, random, folder.path().string()) {
        installCommands(program);
        program.form1().Form_Load();
    }

    static std::string testName() {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return std::string(info->test_suite_name()) + "_" + info->name();
    }

    std::string treatment(const std::string& file, const TreatmentSpec& spec) {
        return writeTreatment(folder.file(file), spec);
    }

    TempFolder folder;
    ScriptedDialogs dialogs;
    FakeClock clock;
    FakeRandom random;
    Program program;
};

}  // namespace lumera::test
