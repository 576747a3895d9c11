#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/CvLangTexts.h"
#include "platform/CvProfileFile.h"
#include "support/TestEnv.h"

namespace {

struct ExpectedText {
    int id;
    std::string section;
    std::string text;
};

// The English texts every window starts with.
const std::vector<ExpectedText>& ExpectedBuiltInTexts() {
    static const std::vector<ExpectedText> texts = {
        {101, "Shared", "OK"},
        {102, "Shared", "Cancel"},
        {103, "Shared", "Browse"},
        {104, "Shared", "Save"},
        {105, "Shared", "Send"},
        {106, "Shared", "Close"},
        {107, "Shared", "Set"},
        {108, "Shared", "Apply"},
        {109, "Shared", "Delete"},
        {110, "Shared", "Change"},
        {111, "Shared", "Yes"},
        {112, "Shared", "No"},
        {113, "Shared", "Open link"},
        {114, "Shared",
         "This link opens a network share or a program other than the web browser or the mail "
         "program. Open it?"},
        {201, "PopupForm", "Messages received"},
        {202, "PopupForm", "<"},
        {203, "PopupForm", ">"},
        {205, "PopupForm", "%1 wrote to %2:"},
        {206, "PopupForm", "No messages"},
        {207, "PopupForm", "Reply"},
        {208, "PopupForm", "More..."},
        {209, "PopupForm", "Copy"},
        {210, "PopupForm", "Delete"},
        {211, "PopupForm",
         "%1 more message(s) are not listed here; the message archive holds them."},
        {301, "TrayMenu", "Change options..."},
        {302, "TrayMenu", "About"},
        {303, "TrayMenu", "Exit Corvane"},
        {304, "TrayMenu", "Write message..."},
        {305, "TrayMenu", "Read messages..."},
        {306, "TrayMenu", "Help"},
        {307, "TrayMenu", "Contact list..."},
        {401, "TrayTip", "Corvane Messenger"},
        {402, "TrayTip", "Registering on the net..."},
        {403, "TrayTip", "Online"},
        {404, "TrayTip", "Network not found"},
        {407, "TrayTip", "%1 / %2"},
        {408, "TrayTip", "%1 unread"},
        {409, "TrayTip", "%1 message(s)"},
        {501, "AboutForm", "About Corvane Messenger"},
        {502, "AboutForm", "Corvane Messenger"},
        {503, "AboutForm", "instant messenger for LAN"},
        {504, "AboutForm", "Technical support:"},
        {505, "AboutForm", "Web site:"},
        {506, "AboutForm", "Version"},
        {601, "OptionsForm", "Options"},
        {602, "OptionsForm", "General"},
        {603, "OptionsForm", "System"},
        {604, "OptionsForm", "Interface"},
        {605, "OptionsForm", "Sound effects"},
        {606, "OptionsForm", "Behaviour"},
        {607, "OptionsForm", "Message receiving"},
        {608, "OptionsForm", "Tray icon"},
        {609, "OptionsForm", "Message sending"},
        {610, "OptionsForm", "Message archive"},
        {611, "OptionsForm", "Hot keys"},
        {613, "OptionsForm", "Popup window"},
        {614, "OptionsForm", "Appearance"},
        {615, "OptionsForm", "Messages"},
        {616, "OptionsForm",
         "Settings shown disabled were set by your administrator and cannot be changed here."},
        {701, "OptionsPageSys", "System"},
        {702, "OptionsPageSys", "Launch at the start of the desktop session"},
        {704, "OptionsPageSys", "Interface language"},
        {705, "OptionsPageSys", "Select your preferred language:"},
        {706, "OptionsPageSys", "Translator:"},
        {707, "OptionsPageSys", "Version:"},
        {708, "OptionsPageSys", "Note: restart the program for language change to take effect"},
        {709, "OptionsPageSys", "Disabled"},
        {710, "OptionsPageSys", "Enabled for current user only"},
        {711, "OptionsPageSys", "Enabled for all users of this computer"},
        {801, "OptionsPageSound", "Sound effects"},
        {802, "OptionsPageSound", "Enable sound effects"},
        {803, "OptionsPageSound", "Event"},
        {804, "OptionsPageSound", "Sound file name"},
        {805, "OptionsPageSound", "Broadcast message"},
        {806, "OptionsPageSound", "Personal message"},
        {807, "OptionsPageSound", "Message sent successfully"},
        {808, "OptionsPageSound", "Message sending failed"},
        {901, "OptionsPageRecv", "Message receiving"},
        {907, "OptionsPageRecv", "Action on message receiving"},
        {908, "OptionsPageRecv", "Upon receiving a message:"},
        {909, "OptionsPageRecv", "Show message in popup window"},
        {910, "OptionsPageRecv", "Open message archive"},
        {911, "OptionsPageRecv", "Do nothing"},
        {912, "OptionsPageRecv", "Sound notification"},
        {913, "OptionsPageRecv", "Broadcast messages"},
        {914, "OptionsPageRecv", "Discard my own broadcast messages"},
        {1001, "ContactEditForm", "Contact information"},
        {1002, "ContactEditForm", "Message recipient:"},
        {1003, "ContactEditForm", "User or computer"},
        {1004, "ContactEditForm", "Workgroup or domain"},
        {1005, "ContactEditForm", "Recipient name:"},
        {1006, "ContactEditForm", "Display name:"},
        {1007, "ContactEditForm", "Contact group:"},
        {1008, "ContactEditForm", "Recipient name not specified!"},
        {1009, "ContactEditForm", "Display name not specified!"},
        {1010, "ContactEditForm", "Group name not specified!"},
        {1011, "ContactEditForm", "Add new contact"},
        {1101, "ContactsForm", "Add new contact"},
        {1102, "ContactsForm", "View contacts history"},
        {1103, "ContactsForm", "Write message"},
        {1104, "ContactsForm", "Edit contact info"},
        {1105, "ContactsForm", "Delete"},
        {1106, "ContactsForm", "Delete selected item?"},
        {1107, "ContactsForm", "View contacts history"},
        {1108, "ContactsForm", "Find users in network"},
        {1109, "ContactsForm", "Delete selected group and all its content?"},
        {1110, "ContactsForm", "(No contacts defined)"},
        {1111, "ContactsForm",
         "Corvane Messenger has found a contact list file from old version of the program (2.x). "
         "Do you wish to import it to the new version?"},
        {1201, "MsgArchiveForm", "Message archive"},
        {1208, "MsgArchiveForm", "Write message to sender"},
        {1209, "MsgArchiveForm", "Copy"},
        {1210, "MsgArchiveForm", "Delete"},
        {1211, "MsgArchiveForm", "%1 wrote to %2:"},
        {1212, "MsgArchiveForm", "Clear archive"},
        {1213, "MsgArchiveForm", "Delete all messages from the message archive?"},
        {1214, "MsgArchiveForm", "Export messages"},
        {1215, "MsgArchiveForm", "Back"},
        {1216, "MsgArchiveForm", "Search string"},
        {1217, "MsgArchiveForm", "%1: cannot be written"},
        {1218, "MsgArchiveForm", "%1 already exists. Replace it?"},
        {1301, "PopErrorForm", "Error"},
        {1302, "PopErrorForm",
         "The message archive cannot be opened (%1). Messages are received and shown, but not "
         "kept."},
        {1401, "WriteMsgForm", "Write message"},
        {1402, "WriteMsgForm", "To"},
        {1403, "WriteMsgForm", "Can't send message to:"},
        {1404, "WriteMsgForm", "User or computer"},
        {1405, "WriteMsgForm", "Domain or workgroup"},
        {1406, "WriteMsgForm", "Contact group"},
        {1407, "WriteMsgForm",
         "Message exceed maximum allowed length (personal message - 1600 characters, broadcast "
         "message - %1 characters). Message text will be truncated. Continue?"},
        {1408, "WriteMsgForm", "Unknown error"},
        {1409, "WriteMsgForm", "Recipient not found"},
        {1410, "WriteMsgForm", "Message transmission error"},
        {1411, "WriteMsgForm", "Recipient name not specified!"},
        {1412, "WriteMsgForm", "Network not found"},
        {1413, "WriteMsgForm", "Sending message..."},
        {1501, "OptionsPageTray", "Tray icon"},
        {1502, "OptionsPageTray", "Action on left mouse button click"},
        {1503, "OptionsPageTray", "Left mouse button click opens:"},
        {1504, "OptionsPageTray", "Contact list"},
        {1505, "OptionsPageTray", "Message archive"},
        {1506, "OptionsPageTray", "Popup message window"},
        {1601, "OptionsPageSend", "Message sending"},
        {1602, "OptionsPageSend", "Action on message sending"},
        {1603, "OptionsPageSend", "If message sent succesfully, generate:"},
        {1604, "OptionsPageSend", "Sound notification"},
        {1605, "OptionsPageSend", "If sending failed, generate:"},
        {1606, "OptionsPageSend", "Text notification"},
        {1607, "OptionsPageSend", "Sound notification"},
        {1608, "OptionsPageSend", "Signature"},
        {1609, "OptionsPageSend", "Sign messages with:"},
        {1610, "OptionsPageSend", "User name"},
        {1611, "OptionsPageSend", "Computer name"},
        {1612, "OptionsPageSend", "Message fragmentation"},
        {1613, "OptionsPageSend", "Split large broadcast messages into smaller parts"},
        {1701, "OptionsPageArchive", "Message archive"},
        {1702, "OptionsPageArchive", "Message archive window"},
        {1703, "OptionsPageArchive", "Always on top"},
        {1704, "OptionsPageArchive", "Message list"},
        {1705, "OptionsPageArchive", "Display messages registered during last"},
        {1706, "OptionsPageArchive", "days"},
        {1801, "LanBrowserForm", "Local network search"},
        {1802, "LanBrowserForm", "Start search"},
        {1803, "LanBrowserForm", "Stop search"},
        {1804, "LanBrowserForm", "Name"},
        {1805, "LanBrowserForm", "Comment"},
        {1806, "LanBrowserForm", "Computer"},
        {1807, "LanBrowserForm", "Domain"},
        {1808, "LanBrowserForm", "State"},
        {1809, "LanBrowserForm", "Available"},
        {1810, "LanBrowserForm", "Offline"},
        {1811, "LanBrowserForm", "Searching..."},
        {1812, "LanBrowserForm", "Search complete"},
        {1813, "LanBrowserForm", "Search terminated"},
        {1814, "LanBrowserForm", "Write message"},
        {1815, "LanBrowserForm", "Add to contact list"},
        {1816, "LanBrowserForm", "View contacts history"},
        {1817, "LanBrowserForm", "Retrieving..."},
        {1818, "LanBrowserForm", "Unknown"},
        {1819, "LanBrowserForm", "Source"},
        {1820, "LanBrowserForm", "Network neighbourhood"},
        {1821, "LanBrowserForm", "Active Directory"},
        {1901, "OptionsPageHotKeys", "Hot keys"},
        {1902, "OptionsPageHotKeys", "Enable hot keys"},
        {1903, "OptionsPageHotKeys", "Action"},
        {1904, "OptionsPageHotKeys", "Key"},
        {1905, "OptionsPageHotKeys", "Write new message"},
        {1906, "OptionsPageHotKeys", "Reply to last message"},
        {1907, "OptionsPageHotKeys", "Read incoming messages"},
        {1908, "OptionsPageHotKeys", "Find users in the network"},
        {1909, "OptionsPageHotKeys", "Hot key"},
        {2201, "LanBrowserSettingsForm", "Search for:"},
        {2202, "LanBrowserSettingsForm", "Domains/workgroups"},
        {2203, "LanBrowserSettingsForm", "Users"},
        {2204, "LanBrowserSettingsForm", "Computers"},
        {2205, "LanBrowserSettingsForm", "Show available objects only"},
        {2206, "LanBrowserSettingsForm", "Check AD objects state"},
        {2207, "LanBrowserSettingsForm", "Search in:"},
        {2208, "LanBrowserSettingsForm", "Network neighbourhood"},
        {2209, "LanBrowserSettingsForm", "Active Directory"},
        {2301, "OptionsPagePopWnd", "Popup message window"},
        {2302, "OptionsPagePopWnd", "Closing"},
        {2303, "OptionsPagePopWnd", "Close popup message window"},
        {2304, "OptionsPagePopWnd", "Manually"},
        {2305, "OptionsPagePopWnd", "At expiration of"},
        {2306, "OptionsPagePopWnd", "sec."},
        {2307, "OptionsPagePopWnd", "Keep on the screen until all messages are read"},
        {2308, "OptionsPagePopWnd", "Opening"},
        {2309, "OptionsPagePopWnd", "Open the window at newest message"},
        {2310, "OptionsPagePopWnd", "Remove read messages"},
        {2311, "OptionsPagePopWnd", "Mark message as read when shown"},
        {2401, "OptionsPageAppearance", "Appearance"},
        {2402, "OptionsPageAppearance", "Enable custom appearance settings"},
        {2403, "OptionsPageAppearance", "Object:"},
        {2404, "OptionsPageAppearance", "Display item:"},
        {2405, "OptionsPageAppearance", "Font name:"},
        {2406, "OptionsPageAppearance", "Font size:"},
        {2407, "OptionsPageAppearance", "Sample:"},
        {2408, "OptionsPageAppearance", "Popup message window"},
        {2409, "OptionsPageAppearance", "Message archive window"},
        {2410, "OptionsPageAppearance", "Message text"},
        {2411, "OptionsPageAppearance", "Message text"},
        {2412, "OptionsPageAppearance", "Current row highlight"},
        {2413, "OptionsPageAppearance", "Color:"},
        {2414, "OptionsPageAppearance", "Background color:"},
        {2501, "OptionsPageMessages", "Messages"},
        {2502, "OptionsPageMessages", "Message text"},
        {2504, "OptionsPageMessages", "Broadcast messages"},
        {2505, "OptionsPageMessages", "Enable enlarged broadcast messages"},
        {2506, "OptionsPageMessages", "Hyperlink detection and handling:"},
        {2507, "OptionsPageMessages", "Disabled"},
        {2508, "OptionsPageMessages", "Standard protocols only (http, https, ftp, mailto)"},
        {2509, "OptionsPageMessages", "Any protocol"},
        {2601, "NoTrayForm",
         "This desktop has no notification area, so Corvane Messenger shows no tray icon. It "
         "still runs: received messages pop up, and hot keys and \"corvane send\" work. Closing "
         "this window keeps the program running and the window in the task list, from where it "
         "comes back."},
    };
    return texts;
}

std::string GermanLanguageFile() {
    const char* data = std::getenv("CORVANE_TEST_DATA");
    if (data == nullptr) {
        return std::string();
    }
    return (std::filesystem::path(data).parent_path().parent_path() / "language" / "german.lng")
        .string();
}

TEST(CvLangTexts, BuiltInTableHoldsEveryTextInItsSection) {
    CvLangTexts texts;
    std::vector<int> expectedIds;
    for (const ExpectedText& expected : ExpectedBuiltInTexts()) {
        EXPECT_EQ(texts.GetText(expected.id), expected.text) << expected.id;
        EXPECT_EQ(texts.GetSection(expected.id), expected.section) << expected.id;
        expectedIds.push_back(expected.id);
    }
    EXPECT_EQ(texts.Ids(), expectedIds);
}

// The program runs on a desktop session: no text, built in or German, speaks
// of starting with another operating system.
TEST(CvLangTexts, NoTextNamesAnotherOperatingSystem) {
    CvLangTexts texts;
    CvLangTexts german;
    german.LoadLanguageFile(GermanLanguageFile());
    for (const ExpectedText& expected : ExpectedBuiltInTexts()) {
        EXPECT_EQ(texts.GetText(expected.id).find("Windows"), std::string::npos) << expected.id;
        EXPECT_EQ(german.GetText(expected.id).find("Windows"), std::string::npos) << expected.id;
    }
}

TEST(CvLangTexts, UnknownIdentifiersGiveEmptyText) {
    CvLangTexts texts;
    for (int id : {0, -1, 100, 204, 405, 612, 703, 1000, 2000, 2503, 2510, 99999}) {
        EXPECT_EQ(texts.GetText(id), "") << id;
        EXPECT_EQ(texts.GetSection(id), "") << id;
    }
}

TEST(CvLangTexts, InstanceIsOneTable) {
    EXPECT_EQ(&CvLangTexts::Instance(), &CvLangTexts::Instance());
    EXPECT_EQ(CvLangTexts::Instance().GetText(303), "Exit Corvane");
}

TEST(CvLangTexts, FileChangesOnlyTheKeysItDefinesInTheirOwnSections) {
    TempDir dir;
    WriteFileText(dir.File("one.lng"),
                  "[Info]\nLanguageName=Test\n\n"
                  "[TrayMenu]\n303=Programm beenden\n\n"
                  "; a key in a section it does not belong to changes nothing\n"
                  "[Shared]\n304=Wrong section\n9999=Unknown id\n");
    CvLangTexts texts;
    texts.LoadLanguageFile(dir.File("one.lng"));
    for (const ExpectedText& expected : ExpectedBuiltInTexts()) {
        const std::string want = expected.id == 303 ? "Programm beenden" : expected.text;
        EXPECT_EQ(texts.GetText(expected.id), want) << expected.id;
    }
    EXPECT_EQ(texts.GetText(9999), "");

    texts.Reset();
    EXPECT_EQ(texts.GetText(303), "Exit Corvane");
}

TEST(CvLangTexts, LongTextsAreCutToWholeCharacters) {
    TempDir dir;
    std::string longText;
    for (int i = 0; i < 3000; ++i) {
        longText += "ä";
    }
    WriteFileText(dir.File("long.lng"), "[PopupForm]\n201=" + longText + "\n");
    CvLangTexts texts;
    texts.LoadLanguageFile(dir.File("long.lng"));
    std::string expected;
    for (int i = 0; i < 2047; ++i) {
        expected += "ä";
    }
    EXPECT_EQ(texts.GetText(201), expected);
}

TEST(CvLangTexts, NothingToLoadKeepsTheBuiltInTexts) {
    TempDir dir;
    WriteFileText(dir.File("german.lng"), "[TrayMenu]\n303=Beenden\n");
    const std::vector<std::string> paths = {
        "",                       // empty path
        dir.File("missing.lng"),  // missing file
        dir.Path(),               // the folder itself
        dir.Path() + "/",         // SysLanguageFile empty: folder + ""
    };
    for (const std::string& path : paths) {
        CvLangTexts texts;
        texts.LoadLanguageFile(path);
        EXPECT_EQ(texts.GetText(303), "Exit Corvane") << path;
    }

    CvLangTexts texts;
    texts.LoadSelectedLanguage(dir.Path(), "");
    EXPECT_EQ(texts.GetText(303), "Exit Corvane");
    texts.LoadSelectedLanguage(dir.Path(), "german.lng");
    EXPECT_EQ(texts.GetText(303), "Beenden");
}

TEST(CvLangTexts, GermanFileTranslatesEveryText) {
    const std::string path = GermanLanguageFile();
    ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
    CvLangTexts texts;
    texts.LoadLanguageFile(path);

    int changed = 0;
    for (const ExpectedText& expected : ExpectedBuiltInTexts()) {
        const std::vector<std::string> keys = CvProfileFile::ReadKeys(path, expected.section);
        EXPECT_NE(std::find(keys.begin(), keys.end(), std::to_string(expected.id)), keys.end())
            << "missing " << expected.section << "/" << expected.id;
        EXPECT_NE(texts.GetText(expected.id), "") << expected.id;
        changed += texts.GetText(expected.id) != expected.text ? 1 : 0;
    }
    // Only names and words German shares with English stay ("OK", "Version").
    EXPECT_GE(changed, 200);
    EXPECT_EQ(texts.GetText(303), "Corvane beenden");
    EXPECT_EQ(texts.GetText(106), "Schließen");
    EXPECT_EQ(texts.GetText(1211), "%1 schrieb an %2:");
    EXPECT_EQ(CvProfileFile::ReadString(path, "Info", "LanguageName", ""), "Deutsch");
    EXPECT_EQ(CvProfileFile::ReadString(path, "Info", "ProductVersion", ""), "3.0.0");
}

TEST(CvLangTexts, ReadersSeeWholeTextsWhileAFileLoads) {
    TempDir dir;
    WriteFileText(dir.File("x.lng"), "[TrayMenu]\n303=Beenden\n[Shared]\n101=Gut\n");
    CvLangTexts texts;
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!stop) {
            const std::string text = texts.GetText(303);
            if (text != "Exit Corvane" && text != "Beenden") {
                ++bad;
            }
        }
    });
    for (int i = 0; i < 20; ++i) {
        texts.LoadLanguageFile(dir.File("x.lng"));
        texts.Reset();
    }
    stop = true;
    reader.join();
    EXPECT_EQ(bad, 0);
}

}  // namespace
