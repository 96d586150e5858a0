// The Linux hosts' state slots as files: where they go, a write that replaces
// a slot only once the new bytes are all on the disk, and the reasons given
// when they cannot be written or read.
#include "platforms/common/statefiles.h"

#include "host/statestore.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t romSetHash = 0x0123456789ABCDEF;

// Sets or removes an environment variable for the test, and puts it back.
class EnvironmentVariable {
  public:
    EnvironmentVariable(const char* name, std::optional<std::string> value) : name(name) {
        if (const char* old = std::getenv(name)) before = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvironmentVariable() {
        if (before) {
            setenv(name, before->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

  private:
    const char* name;
    std::optional<std::string> before;
};

class StateFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("korvalo_statefiles_" + std::to_string(std::random_device{}()));
        fs::create_directories(root);
        installFileStateStore();
    }
    void TearDown() override {
        stateStore = StateStoreOps{};
        fs::remove_all(root);
    }

    static std::set<std::string> namesIn(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }

    static std::vector<uint8_t> bytes(size_t count, uint8_t seed) {
        std::vector<uint8_t> data(count);
        for (size_t i = 0; i < count; ++i)
            data[i] = uint8_t(i * 7 + seed);
        return data;
    }

    fs::path root;
};

TEST_F(StateFiles, FolderFromTheDataHomeOrHome) {
    struct Row {
        const char* name;
        std::optional<std::string> dataHome, home;
        std::string folder; // "" when there is none; $ROOT stands for root
    };
    const std::string hash = "/korvalo/0123456789abcdef";
    const Row rows[] = {
        {"data home", "$ROOT/data", "$ROOT/home", "$ROOT/data" + hash},
        {"data home unset", std::nullopt, "$ROOT/home", "$ROOT/home/.local/share" + hash},
        {"data home empty", "", "$ROOT/home", "$ROOT/home/.local/share" + hash},
        {"data home not absolute", "data", "$ROOT/home", "$ROOT/home/.local/share" + hash},
        {"neither", std::nullopt, std::nullopt, ""},
        {"home empty", std::nullopt, "", ""},
    };
    const auto expand = [this](std::string text) {
        if (text.rfind("$ROOT", 0) == 0) text.replace(0, 5, root.string());
        return text;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EnvironmentVariable data(
            "XDG_DATA_HOME", row.dataHome ? std::optional(expand(*row.dataHome)) : std::nullopt);
        EnvironmentVariable home("HOME",
                                 row.home ? std::optional(expand(*row.home)) : std::nullopt);
        std::string folder, error;
        const bool found = stateSlotFolder(romSetHash, folder, error);
        EXPECT_EQ(found, !row.folder.empty());
        if (found) {
            EXPECT_EQ(folder, expand(row.folder));
        } else {
            EXPECT_EQ(error, "no folder for the slots: neither XDG_DATA_HOME nor HOME is set");
        }
        std::vector<uint8_t> read;
        EXPECT_EQ(stateStore.read(romSetHash, 1, read, error), false);
        EXPECT_EQ(error.empty(), found); // an empty slot, or the reason
    }
}

TEST_F(StateFiles, SlotsAreWrittenReplacedAndReadBack) {
    EnvironmentVariable data("XDG_DATA_HOME", (root / "a" / "b").string());
    const fs::path folder = root / "a/b/korvalo/0123456789abcdef";
    std::vector<uint8_t> read;
    std::string error = "not cleared";
    EXPECT_FALSE(stateStore.read(romSetHash, 3, read, error));
    EXPECT_EQ(error, "");
    for (uint8_t seed : {1, 2}) {
        const std::vector<uint8_t> state = bytes(27309 + seed, seed);
        ASSERT_TRUE(stateStore.write(romSetHash, 3, state.data(), state.size(), error)) << error;
        ASSERT_TRUE(stateStore.read(romSetHash, 3, read, error)) << error;
        EXPECT_EQ(read, state);
    }
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"slot3.state"});
    EXPECT_FALSE(stateStore.read(romSetHash + 1, 3, read, error)); // another set's slot
    EXPECT_EQ(error, "");
}

// A full disk stands in as a file size limit: the write fails part way, the
// new file goes, the old slot stays.
TEST_F(StateFiles, FailedWriteLeavesTheOldSlot) {
    EnvironmentVariable data("XDG_DATA_HOME", root.string());
    const std::vector<uint8_t> old = bytes(100, 9), state = bytes(27309, 4);
    std::string error;
    ASSERT_TRUE(stateStore.write(romSetHash, 0, old.data(), old.size(), error)) << error;
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = stateStore.write(romSetHash, 0, state.data(), state.size(), error);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    const fs::path slot = root / "korvalo/0123456789abcdef/slot0.state";
    EXPECT_EQ(error, "can't write " + slot.string() + ": File too large");
    std::vector<uint8_t> read;
    ASSERT_TRUE(stateStore.read(romSetHash, 0, read, error)) << error;
    EXPECT_EQ(read, old);
    EXPECT_EQ(namesIn(slot.parent_path()), std::set<std::string>{"slot0.state"});
}

// What stands in the way is named with the system's reason; nothing is
// written anywhere else.
TEST_F(StateFiles, WhatCannotBeWrittenOrReadSaysWhy) {
    EnvironmentVariable data("XDG_DATA_HOME", root.string());
    const std::vector<uint8_t> state = bytes(64, 3);
    const std::string korvalo = (root / "korvalo").string();
    const std::string slot = korvalo + "/0123456789abcdef/slot0.state";
    std::string error;
    std::vector<uint8_t> read;

    std::ofstream(korvalo) << "a file where the folder goes";
    EXPECT_FALSE(stateStore.write(romSetHash, 0, state.data(), state.size(), error));
    EXPECT_EQ(error, "can't make the folder " + korvalo + ": Not a directory");
    EXPECT_FALSE(stateStore.read(romSetHash, 0, read, error));
    EXPECT_EQ(error, "can't read " + slot + ": Not a directory");
    fs::remove(korvalo);

    fs::create_directories(slot); // a folder where the slot's file goes
    EXPECT_FALSE(stateStore.write(romSetHash, 0, state.data(), state.size(), error));
    EXPECT_EQ(error, "can't replace " + slot + ": Is a directory");
    EXPECT_FALSE(stateStore.read(romSetHash, 0, read, error));
    EXPECT_EQ(error, "can't read " + slot + ": not a file");
    EXPECT_EQ(namesIn(fs::path(slot).parent_path()), std::set<std::string>{"slot0.state"});
    fs::remove(slot);

    const std::vector<uint8_t> huge(largestStateFile + 1, 0x55);
    ASSERT_TRUE(stateStore.write(romSetHash, 0, huge.data(), huge.size(), error)) << error;
    EXPECT_FALSE(stateStore.read(romSetHash, 0, read, error));
    EXPECT_EQ(error, "can't read " + slot + ": larger than a state can be");
}

} // namespace
