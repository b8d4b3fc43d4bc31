// Tests of mkinstaller's words of a distributor's own: the button's name for
// screen readers and the texts of PO files, what they may hold and where they
// go in the host.
#include "MkinstallerTestSupport.h"

#include "PeImage.h"
#include "PoTexts.h"

#include <array>
#include <map>

using namespace mkinstaller_test;

namespace {

// The label becomes the button's hint: the last one, where the reader shows
// it, or a new one; plain text when it is ASCII, else UTF-16.
TEST_F(MkinstallerBrandTest, ButtonLabelsOfOneToAHundredCharacters) {
  TStreamObject Form = InstallerForm();
  auto& Hints = Form.Children[1].Properties;
  Hints.push_back({"Hint", TStreamValue::String("first")});
  Hints.push_back({"Hint", TStreamValue::String("Install")});
  const std::string WithHint = SyntheticHost(HostResources(StreamOf(Form)));
  const auto HintsOf = [&](const std::string& Label, const std::string& Host) {
    WriteFile(host_, Host);
    const RunResult R = Run(With({"--button-label", Label}));
    EXPECT_EQ(R.exitCode, 0) << R.err;
    const TStreamObject Branded = DescriptionOf(PackagedHost());
    std::vector<TStreamValue> Found;
    for (const auto& P : Branded.Children[1].Properties)
      if (P.Name == "Hint")
        Found.push_back(P.Value);
    return Found;
  };
  std::string Umlauts;
  std::u16string Wide;
  for (int I = 0; I < 100; ++I) {
    Umlauts += "\xC3\xBC";
    Wide += u'\u00FC';
  }
  EXPECT_EQ(HintsOf("Installieren", WithHint),
            (std::vector<TStreamValue>{TStreamValue::String("first"), TStreamValue::String("Installieren")}));
  EXPECT_EQ(HintsOf("I", SyntheticHost()), (std::vector<TStreamValue>{TStreamValue::String("I")}));
  EXPECT_EQ(HintsOf(std::string(100, 'x'), SyntheticHost()),
            (std::vector<TStreamValue>{TStreamValue::String(std::string(100, 'x'))}));
  EXPECT_EQ(HintsOf(Umlauts, SyntheticHost()), (std::vector<TStreamValue>{TStreamValue::WideString(Wide)}));
  // No ANSI code page has a character beyond the 16-bit range.
  ExpectRefused(With({"--button-label", "\xF0\x9F\x98\x80!"}),
                {"button label cannot be spelt in any one Windows ANSI code page"});
  // The decoder's range ends: past ASCII, and the first that takes two UTF-16
  // units, are text (refused for what they are, not as broken UTF-8).
  ExpectRefused(With({"--button-label", "In\xC2\x80"}), {"button label holds a control character"});
  ExpectRefused(With({"--button-label", "\xF0\x90\x80\x80"}),
                {"button label cannot be spelt in any one Windows ANSI code page"});

  ExpectRefused(With({"--button-label", ""}), {"mkinstaller: button label is empty"});
  ExpectRefused(With({"--button-label="}), {"button label is empty"});
  ExpectRefused(With({"--button-label", std::string(101, 'x')}),
                {"button label is 101 characters long; at most 100 are taken"});
  ExpectRefused(With({"--button-label", Umlauts + "!"}), {"button label is 101 characters long"});
  // The first and last surrogates, and the first character past U+10FFFF.
  for (const char* Broken : {"\xFF", "Instal\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80"})
    ExpectRefused(With({"--button-label", Broken}), {"button label is not UTF-8 text"});
}

// The rules of a distributor's text hold for the button's name too, each
// taken at its edge.
TEST_F(MkinstallerBrandTest, ButtonLabelsThatNoWindowsShows) {
  for (const char* Label : {"In\nstall", "\x1B[31mInstall", "\x01", "Install\x7F", "Inst\xC2\x80", "Inst\xC2\x9F"})
    ExpectRefused(With({"--button-label", Label}), {"button label holds a control character"});
  for (const char* Label : {"\xE2\x80\xAAInstall", "Install\xE2\x80\xAE", "\xE2\x81\xA6x", "x\xE2\x81\xA9"})
    ExpectRefused(With({"--button-label", Label}), {"button label holds a bidirectional control"});
  for (const char* Label : {" ", "   ", "\xC2\xA0", "\xE3\x80\x80", " \xE2\x80\x8B"})
    ExpectRefused(With({"--button-label", Label}), {"button label is empty or only white space"});
  // Polish and Russian each have a code page; together none.
  ExpectRefused(With({"--button-label", "\xC5\x81\xC3\xB3\x64\xC5\xBA \xD0\x97\xD0\xB0"}),
                {"button label cannot be spelt in any one Windows ANSI code page"});
  for (const char* Label :
       {"Install ", " x", "\xC2\xA0x", "\xC5\x81\xC3\xB3\x64\xC5\xBA", "\xD0\x97\xD0\xB0", "\xC2\xA1Instalar!"})
    EXPECT_EQ(Run(With({"--button-label", Label})).exitCode, 0) << Label;
}

namespace {
const std::string Question = "Screensaver installation completed, run it now?";
}  // namespace

TEST_F(MkinstallerBrandTest, TextsThatAreRefused) {
  struct TCase {
    std::string Po;
    std::string Why;
  };
  const TCase Cases[] = {
      {PoFile("de", {{Question, "Jetzt starten\xFF?"}}), "is not UTF-8 text"},
      {PoFile("", {{Question, "Jetzt starten?"}}), "the header names no Language:"},
      {PoFile(" ", {{Question, "Jetzt starten?"}}), "the header names no Language:"},
      {"msgid \"Confirm\"\nmsgstr \"OK\"\n", "has no header naming its Language:"},
      {PoFile("xx", {{Question, "Jetzt starten?"}}), "unknown Language: 'xx'"},
      {PoFile("pt", {{Question, "Iniciar agora?"}}), "unknown Language: 'pt'"},
      {PoFile("de_CH", {{Question, "Jetzt starten?"}}), "unknown Language: 'de_CH'"},
      {PoFile("de", {{Question, "Jetzt starten?"}}, "ISO-8859-1"), "does not say charset=UTF-8"},
      {PoFile("de", {{"Screensaver installation completed, run it now", "Jetzt starten?"}}), "unknown msgid"},
      {PoFile("de", {{"install", "installieren"}}), "unknown msgid \"install\""},
      {PoFile("de", {{"Cannot open file %s", "Datei kann nicht ge\xC3\xB6\x66\x66net werden"}}), "must keep its 1 %s"},
      {PoFile("de", {{"Cannot open file %s", "Datei %s %s"}}), "must keep its 1 %s"},
      {PoFile("de", {{"Cannot open file %s", "100% Datei %s"}}), "and no other %"},
      {PoFile("de", {{"Confirm", "%s"}}), "must keep its 0 %s"},
      {PoFile("de", {{Question, "Jetzt\\nstarten?"}}), "holds a control character"},
      {PoFile("de", {{Question, "Jetzt\\037starten?"}}), "holds a control character"},
      {PoFile("de", {{Question, "Jetzt\xC2\x85starten?"}}), "holds a control character"},
      {PoFile("de", {{Question, "\xE2\x80\xAEJetzt starten?"}}), "holds a bidirectional control"},
      {PoFile("de", {{Question, "  "}}), "is empty or only white space"},
      {PoFile("de", {{Question, "\xC5\x81\xC3\xB3\x64\xC5\xBA?"}}), "code page 1252 (de) cannot spell"},
      {PoFile("ru", {{Question, "\xD0\x97\xD0\xB0\xD0\xBF\xD1\x83\xD1\x81\xD1\x82\xD0\xB8\xD1\x82\xD1\x8C \xC3\xBC?"}}),
       "code page 1251 (ru) cannot spell"},
      {PoFile("de", {{"Confirm", "OK"}, {"Confirm", "Ja"}}), "a second entry for \"Confirm\""},
      {PoFile("de", {{"Confirm", ""}, {"Confirm", "Ja"}}), "a second entry for \"Confirm\""},
      {PoFile("de", {{Question, "Jetzt starten\\303?"}}), "is not UTF-8 once its escapes are read"},
      {PoFile("de", {{Question, "Jetzt starten?"}}) + "msgid_plural \"x\"\n", "'msgid_plural' is not taken here"},
  };
  for (const TCase& Case : Cases) {
    WriteFile(root_ / "texts.po", Case.Po);
    ExpectRefused(With({"--texts", (root_ / "texts.po").string()}), {"texts '", "texts.po", Case.Why});
  }
  WriteFile(root_ / "de.po", PoFile("de", {{Question, "Jetzt starten?"}}));
  WriteFile(root_ / "de2.po", PoFile("de", {{"Confirm", "OK"}}));
  ExpectRefused(With({"--texts", (root_ / "de.po").string(), "--texts", (root_ / "de2.po").string()}),
                {"de2.po' is a second file for the table of language de"});
  // zh_HK and zh_TW share one table.
  WriteFile(root_ / "hk.po", PoFile("zh_HK", {{"Confirm", "\xE7\xA2\xBA\xE8\xAA\x8D"}}));
  WriteFile(root_ / "tw.po", PoFile("zh_TW", {{"Confirm", "\xE7\xA2\xBA\xE8\xAA\x8D"}}));
  ExpectRefused(With({"--texts", (root_ / "hk.po").string(), "--texts", (root_ / "tw.po").string()}),
                {"tw.po' is a second file for the table of language zh_TW"});
  const RunResult R = Run(With({"--texts"}));
  EXPECT_EQ(R.exitCode, 2);
  EXPECT_NE(R.err.find("option --texts needs a file name"), std::string::npos) << R.err;
}

// Each file's texts go into its language's table; a language the host lacks
// gets a table of its own, which holds only what the file gives.
TEST_F(MkinstallerBrandTest, TextsGoIntoTheirLanguagesTables) {
  WriteFile(root_ / "de.po", PoFile("de", {{Question, "Aurora ist installiert. Jetzt starten?"},
                                           {"Cannot open file %s", "Datei %s?"},
                                           {"Range check error", "Bereichs\\303\\274berschreitung"},
                                           {"Confirm", ""}}));
  WriteFile(root_ / "th.po",
            PoFile("th", {{"Confirm", "\xE0\xB8\xA2\xE0\xB8\xB7\xE0\xB8\x99\xE0\xB8\xA2\xE0\xB8\xB1\xE0\xB8\x99"}}));
  const RunResult R = Run(With({"--texts", (root_ / "de.po").string(), "--texts=" + (root_ / "th.po").string()}));
  ASSERT_EQ(R.exitCode, 0) << R.err;
  const mkinstaller::TPeImage Image = ParseImage(PackagedHost());
  std::map<std::uint16_t, std::array<std::u16string, 16>> Tables;
  for (const mkinstaller::TResource& Resource : Image.Resources())
    if (Resource.Type.Matches(mkinstaller::TResourceId::Number(mkinstaller::RtString)))
      Tables[Resource.Language] = mkinstaller::ReadStringBlock(Resource.Data);
  ASSERT_EQ(Tables.size(), 2u);
  std::array<std::u16string, 16> German, Thai;
  German[txInstallQuestion] = u"Aurora ist installiert. Jetzt starten?";
  German[txFOpenError] = u"Datei %s?";
  German[txRangeError] = u"Bereichs\u00FCberschreitung";
  Thai[txConfirm] = u"\u0E22\u0E37\u0E19\u0E22\u0E31\u0E19";
  EXPECT_EQ(Tables[0x0407], German);
  EXPECT_EQ(Tables[0x041E], Thai);
}

}  // namespace
