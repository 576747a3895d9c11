#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CvLangTexts.h"
#include "app/CvLanguageList.h"
#include "support/TestEnv.h"

namespace {

TEST(CvLanguageList, ListsEveryLanguageFileWithItsInfo) {
    TempDir dir;
    WriteFileText(dir.File("german.lng"),
                  "[Info]\nLanguageName=Deutsch\nTranslator=Jan Weber\nProductVersion=3.0.0\n");
    WriteFileText(dir.File("bare.LNG"), "[TrayMenu]\n303=x\n");
    WriteFileText(dir.File("readme.txt"), "[Info]\nLanguageName=Not a language\n");
    std::filesystem::create_directory(dir.File("folder.lng"));

    const CvLanguageList list = CvLanguageList::Enumerate(dir.Path());
    const std::vector<CvLanguageInfo> expected = {
        {"bare.LNG", "<>", "", ""},
        {"german.lng", "Deutsch", "3.0.0", "Jan Weber"},
    };
    EXPECT_EQ(list.Entries(), expected);

    ASSERT_NE(list.Find("german.lng"), nullptr);
    EXPECT_EQ(list.Find("german.lng")->languageName, "Deutsch");
    EXPECT_EQ(list.Find(""), nullptr);
    EXPECT_EQ(list.Find("french.lng"), nullptr);
}

TEST(CvLanguageList, MissingFolderGivesAnEmptyList) {
    TempDir dir;
    EXPECT_TRUE(CvLanguageList::Enumerate(dir.File("absent")).Entries().empty());
    EXPECT_TRUE(CvLanguageList::Enumerate(dir.Path()).Entries().empty());
}

TEST(CvLanguageList, InfoTextUsesTheCurrentLabels) {
    const CvLanguageInfo info{"german.lng", "Deutsch", "3.0.0", "Jan Weber"};
    CvLangTexts texts;
    EXPECT_EQ(CvLanguageList::InfoText(info, texts), "Translator: Jan Weber\r\nVersion: 3.0.0");

    TempDir dir;
    WriteFileText(dir.File("de.lng"), "[OptionsPageSys]\n706=Übersetzer:\n707=Fassung:\n");
    texts.LoadLanguageFile(dir.File("de.lng"));
    EXPECT_EQ(CvLanguageList::InfoText({"x.lng", "<>", "", ""}, texts),
              "Übersetzer: \r\nFassung: ");
}

TEST(CvLanguageList, ShippedLanguageFolderHoldsGerman) {
    const char* data = std::getenv("CORVANE_TEST_DATA");
    ASSERT_NE(data, nullptr);
    const std::filesystem::path folder =
        std::filesystem::path(data).parent_path().parent_path() / "language";
    const CvLanguageList list = CvLanguageList::Enumerate(folder.string());
    const CvLanguageInfo* german = list.Find("german.lng");
    ASSERT_NE(german, nullptr);
    EXPECT_EQ(german->languageName, "Deutsch");
    EXPECT_EQ(german->version, "3.0.0");
    EXPECT_FALSE(german->translator.empty());
}

}  // namespace
