// Common ground of the TIA-MC tests: a fresh board, core, keyboard and
// presentation state per test, the in-memory host, and ROM sets written to
// per-test files.
#pragma once

#include "cpu/z80.h"
#include "display/present.h"
#include "host/host.h"
#include "machines/tiamc/tiamc.h"
#include "tests/support/rom_set_builder.h"
#include "tests/support/test_host.h"
#include "tests/support/z80_emitter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

class TiaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static const TiaBoard freshBoard{};
        installTestHost();
        tiaBoard = freshBoard;
        cpuCore = CpuCore{};
        fullScreen = false;
        scalePreset = 3;
        scanlineMode = 0;
        clientWidth = clientHeight = 0;
        screenshotNumber = 0;
        resetStateTurn();
        setUpColourTable();
    }

    void TearDown() override {
        std::error_code error;
        for (const std::string& path : files)
            std::filesystem::remove_all(path, error);
    }

    // A file of the given bytes, named after the running test and this run,
    // so that builds testing side by side never share one.
    std::string writeTemp(const std::vector<uint8_t>& bytes, const std::string& tag = "set") {
        static const std::string run = std::to_string(std::random_device{}());
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("korvalo_" + std::string(info->test_suite_name()) + "_" +
                                   info->name() + "_" + tag + "_" + run + ".tia"))
                                     .string();
        writeFile(path, bytes);
        files.push_back(path);
        return path;
    }

    void load(RomSetBuilder& set) { ASSERT_TRUE(loadRomSet(writeTemp(set.build()).c_str())); }

    // Loads the set and readies core and host the way the program starts.
    void start(RomSetBuilder& set) { startTiaMachine(writeTemp(set.build()).c_str()); }

    void start(RomModel model, const Z80Emitter& program) {
        RomSetBuilder set(model);
        set.programImage(program.image());
        start(set);
    }

    // Holds the keys down (and everything else up) for the next snapshot.
    static void holdKeys(std::initializer_list<uint8_t> keys) {
        releaseAllKeys();
        for (uint8_t key : keys)
            liveKeys[key] = 0x80;
    }

    std::vector<std::string> files;
};
