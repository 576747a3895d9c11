#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "app/CvWindowState.h"

namespace {

// Integer values in memory.
class MemoryStorage : public CvSettingStorage {
public:
    bool ValueExists(const std::string& name) override { return values.count(name) != 0; }
    bool TryReadString(const std::string&, std::string&) override { return false; }
    std::string ReadString(const std::string&) override { return {}; }
    bool TryReadInt(const std::string& name, int32_t& value) override {
        auto it = values.find(name);
        if (it == values.end()) {
            return false;
        }
        value = it->second;
        return true;
    }
    int32_t ReadInt(const std::string& name) override {
        int32_t value = 0;
        TryReadInt(name, value);
        return value;
    }
    bool WriteString(const std::string&, const std::string&) override { return false; }
    bool WriteInt(const std::string& name, int32_t value) override {
        values[name] = value;
        return true;
    }
    bool DeleteValue(const std::string& name) override { return values.erase(name) != 0; }

    std::map<std::string, int32_t> values;
};

TEST(CvWindowState, SavesTheSelectedValues) {
    MemoryStorage storage;
    const CvWindowPlacement placement{100, 50, 400, 650, CvShowState::Maximized, false};
    EXPECT_TRUE(CvWindowState::Save(placement, storage, CvWindowStateBits::kAll));
    const std::map<std::string, int32_t> expected{{"Top", 100},   {"Left", 50}, {"Height", 300},
                                                  {"Width", 600}, {"State", 2}, {"Visible", 0}};
    EXPECT_EQ(storage.values, expected);

    MemoryStorage partial;
    CvWindowState::Save(placement, partial, CvWindowStateBits::kTop | CvWindowStateBits::kState);
    EXPECT_EQ(partial.values, (std::map<std::string, int32_t>{{"Top", 100}, {"State", 2}}));
}

TEST(CvWindowState, RestoreAppliesValuesInBitOrder) {
    MemoryStorage storage;
    storage.values = {{"Top", 10},   {"Left", 20}, {"Height", 30},
                      {"Width", 40}, {"State", 1}, {"Visible", 1}};
    CvWindowPlacement placement{500, 500, 900, 900, CvShowState::Normal, false};
    ASSERT_TRUE(CvWindowState::Restore(placement, storage, CvWindowStateBits::kAll));
    EXPECT_EQ(placement, (CvWindowPlacement{10, 20, 40, 60, CvShowState::Minimized, true}));

    // Height and Width alone grow from the current corner; an unknown state is normal.
    storage.values["State"] = 7;
    CvWindowPlacement sized{500, 500, 900, 900, CvShowState::Maximized, true};
    ASSERT_TRUE(CvWindowState::Restore(
        sized, storage,
        CvWindowStateBits::kHeight | CvWindowStateBits::kWidth | CvWindowStateBits::kState));
    EXPECT_EQ(sized, (CvWindowPlacement{500, 500, 530, 540, CvShowState::Normal, true}));
}

TEST(CvWindowState, RestoreWithAMissingValueChangesNothing) {
    MemoryStorage storage;
    storage.values = {{"Top", 10}, {"Left", 20}, {"Height", 30}};
    const CvWindowPlacement before{500, 500, 900, 900, CvShowState::Normal, true};
    CvWindowPlacement placement = before;
    EXPECT_FALSE(CvWindowState::Restore(placement, storage, 15));
    EXPECT_EQ(placement, before);
    // Values that are not selected may be missing.
    EXPECT_TRUE(CvWindowState::Restore(placement, storage, 7));
    EXPECT_EQ(placement.bottom, 40);
}

TEST(CvWindowState, HugeStoredSizesDoNotOverflow) {
    MemoryStorage storage;
    storage.values = {{"Top", INT32_MAX}, {"Height", INT32_MAX}};
    CvWindowPlacement placement;
    ASSERT_TRUE(CvWindowState::Restore(placement, storage, 5));
    EXPECT_EQ(placement.bottom, INT32_MAX);
}

}  // namespace
