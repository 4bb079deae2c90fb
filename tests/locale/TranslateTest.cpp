// The compiled catalogues in <bin>/locale switch the texts at run time, even
// when the process runs under the C locale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/Translate.h"

namespace {

std::string LocaleDir() {
    const char* bin = std::getenv("ZV_BIN_DIR");
    return std::string(bin ? bin : ".") + "/locale";
}

class CompiledCatalogues : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("ZV_BIN_DIR"), nullptr) << "ZV_BIN_DIR must name the bin folder";
        Translate::Init(LocaleDir());
    }
    void TearDown() override { Translate::SetLanguage("en"); }
};

TEST_F(CompiledCatalogues, OfferExactlyTheFourLanguages) {
    EXPECT_EQ(Translate::AvailableLanguages(), (std::vector<std::string>{"de", "en", "pl", "ru"}));
}

TEST_F(CompiledCatalogues, SwitchLanguageBackAndForth) {
    struct sCase {
        const char* code;
        const char* portError;
        const char* question;
    };
    const sCase cases[] = {
        {"pl", "Błąd portu COM!", "Czy na pewno\nchcesz zakończyć program?"},
        {"de", "COM-Port-Fehler!", "Wollen Sie das Programm\nwirklich beenden?"},
        {"ru", "Ошибка COM-порта!", "Вы действительно\nхотите выйти из программы?"},
        {"en", "COM port error!", "Do you really\nwant to quit program?"},
        {"pl", "Błąd portu COM!", "Czy na pewno\nchcesz zakończyć program?"},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.code);
        Translate::SetLanguage(c.code);
        EXPECT_STREQ(_("COM port error!"), c.portError);
        EXPECT_STREQ(_("Do you really\nwant to quit program?"), c.question);
    }
}

TEST_F(CompiledCatalogues, KeepButtonPrefixesAndFormatPlaceholders) {
    Translate::SetLanguage("de");
    EXPECT_STREQ(_("   F2   Configuration"), "   F2   Konfiguration");
    EXPECT_EQ(Translate::Format(_("build: %d.%d.%d.%d\n"), 3, 2, 8, 0), "Build: 3.2.8.0\n");
    Translate::SetLanguage("ru");
    EXPECT_EQ(Translate::Format(_("v. %d.%d"), 3, 2), "вер. 3.2");
    Translate::SetLanguage("pl");
    EXPECT_STREQ(_("  F7  Capture to file"), "  F7  Zapis do pliku");
}

TEST_F(CompiledCatalogues, TextWithoutEntryStaysEnglish) {
    Translate::SetLanguage("de");
    EXPECT_STREQ(_("no such text in any catalogue"), "no such text in any catalogue");
    Translate::SetLanguage("xx");  // no catalogue at all
    EXPECT_STREQ(_("COM port error!"), "COM port error!");
}

TEST_F(CompiledCatalogues, LanguageNamesFromTheirOwnCatalogue) {
    const std::pair<const char*, const char*> names[] = {
        {"de", "Deutsch"}, {"en", "English"}, {"pl", "Polski"}, {"ru", "Russian"}, {"sr", "Serbian"}};
    for (const auto& [code, name] : names) EXPECT_EQ(Translate::LanguageName(code), name) << code;
    // A code without a name shows as itself; the language in force does not matter.
    Translate::SetLanguage("pl");
    EXPECT_EQ(Translate::LanguageName("de"), "Deutsch");
    EXPECT_EQ(Translate::LanguageName("xx"), "xx");
}

TEST(CatalogueFolder, MissingFolderLeavesEnglishAndNoLanguages) {
    Translate::Init("/nonexistent/zvbasic/locale");
    Translate::SetLanguage("pl");
    EXPECT_STREQ(_("COM port error!"), "COM port error!");
    EXPECT_TRUE(Translate::AvailableLanguages().empty());
    EXPECT_EQ(Translate::LanguageName("de"), "de");
    Translate::SetLanguage("en");
}

}  // namespace

TEST(LanguageCode, OnlyAFiveCharacterCodeIsShortened) {
    EXPECT_EQ(Translate::ShortCode("de_DE"), "de");
    EXPECT_EQ(Translate::ShortCode("pl"), "pl");
    EXPECT_EQ(Translate::ShortCode("de_DE.UTF-8"), "de_DE.UTF-8");  // not the xx_YY form
    EXPECT_EQ(Translate::ShortCode(""), "");
}
