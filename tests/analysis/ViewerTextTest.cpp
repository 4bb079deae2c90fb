// The viewer's own catalogue domain beside the program's, and how the viewer
// picks its language.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/Translate.h"

#include "analysis/ViewerText.h"

namespace fs = std::filesystem;

namespace {

std::string BinDir() {
    const char* bin = std::getenv("ZV_BIN_DIR");
    return bin ? bin : ".";
}

class ViewerCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("ZV_BIN_DIR"), nullptr) << "ZV_BIN_DIR must name the bin folder";
        const char* language = std::getenv("LANGUAGE");
        SavedLanguage = language ? language : "";
        HadLanguage = language != nullptr;
        ViewerText::Init(ViewerText::LocaleDir(BinDir()));
    }
    void TearDown() override {
        Translate::SetLanguage("en");
        if (HadLanguage) setenv("LANGUAGE", SavedLanguage.c_str(), 1);
        else unsetenv("LANGUAGE");
    }
    std::string SavedLanguage;
    bool HadLanguage = false;
};

TEST_F(ViewerCatalogue, OwnDomainDoesNotMixWithTheProgramsTexts) {
    Translate::SetLanguage("de");
    EXPECT_STREQ(ViewerText::Get("  F3  Open"), "  F3  Öffnen");
    // The program's domain knows nothing of the viewer's keys and the other
    // way round.
    EXPECT_STREQ(_("  F3  Open"), "  F3  Open");
    EXPECT_STREQ(ViewerText::Get("COM port error!"), "COM port error!");
    EXPECT_STREQ(_("COM port error!"), "COM-Port-Fehler!");
}

TEST_F(ViewerCatalogue, PluralFormsOfEachLanguage) {
    Translate::SetLanguage("pl");
    EXPECT_STREQ(ViewerText::Get("%1 line skipped", "%1 lines skipped", 1), "pominięto %1 wiersz");
    EXPECT_STREQ(ViewerText::Get("%1 line skipped", "%1 lines skipped", 3), "pominięto %1 wiersze");
    EXPECT_STREQ(ViewerText::Get("%1 line skipped", "%1 lines skipped", 5), "pominięto %1 wierszy");
    EXPECT_STREQ(ViewerText::Get("%1 line skipped", "%1 lines skipped", 22), "pominięto %1 wiersze");
    Translate::SetLanguage("ru");
    EXPECT_STREQ(ViewerText::Get("%1 record", "%1 records", 21), "%1 запись");
    EXPECT_STREQ(ViewerText::Get("%1 record", "%1 records", 11), "%1 записей");
    Translate::SetLanguage("en");
    EXPECT_STREQ(ViewerText::Get("%1 line skipped", "%1 lines skipped", 3), "%1 lines skipped");
}

// LANGUAGE from the environment wins; without it the language the main
// program saved in zvbasic.ini beside the executable (a portable layout).
TEST_F(ViewerCatalogue, LanguageFromEnvironmentOrTheProgramsSettings) {
    const fs::path dir = fs::temp_directory_path() / ("zvlang_" + std::to_string(::getpid()));
    fs::create_directories(dir / "locale");
    std::ofstream(dir / "zvbasic.ini", std::ios::binary) << "COM: /dev/ttyS0\r\nLanguage: ru\r\nENABLED";
    setenv("LANGUAGE", "pl", 1);
    EXPECT_EQ(ViewerText::ChooseLanguage(dir.string()), "pl");
    EXPECT_STREQ(ViewerText::Get("No records"), "Brak rekordów");
    unsetenv("LANGUAGE");
    EXPECT_EQ(ViewerText::ChooseLanguage(dir.string()), "ru");
    EXPECT_STREQ(ViewerText::Get("No records"), "Нет записей");
    fs::remove_all(dir);
}

}  // namespace
