// texttables: the build's step from the PO files to the program's string
// tables. Writes OUTPUT.rc naming one block file per language beside it
// (OUTPUT-0407.bin, ...), each under its table's LANGID. Every file must be
// complete, as the program falls back to English a text at a time and a gap
// would go unnoticed; English itself must be among them.
#include <cstdio>
#include <string>
#include <vector>

#include "Files.h"
#include "PoTexts.h"

int main(int argc, char** argv) {
  using namespace mkinstaller;
  if (argc < 3) {
    WriteText(stderr, "usage: texttables OUTPUT.rc FILE.po...\n");
    return 2;
  }
  const std::string Output = argv[1];
  std::string Script = "// Made by texttables from the PO files.\n";
  bool English = false;
  std::vector<std::uint16_t> Seen;
  try {
    for (int I = 2; I < argc; ++I) {
      TInputFile In("PO file", argv[I]);
      const TPoTexts Po = ReadPoTexts(In.ReadAll(1 << 20), In.Name());
      std::array<std::u16string, 16> Texts;
      for (unsigned Id = 0; Id < TextCount; ++Id) {
        if (!Po.Texts[Id])
          throw EFailure(In.Name() + " has no translation of \"" + EnglishTexts[Id] + "\"");
        Texts[Id] = *Po.Texts[Id];
      }
      for (std::uint16_t Table : Seen)
        if (Table == Po.Language->Table)
          throw EFailure(In.Name() + ": a second file for the table of " + Po.Language->Code);
      Seen.push_back(Po.Language->Table);
      English = English || Po.Language->Table == EnglishTable;
      char Hex[8];
      std::snprintf(Hex, sizeof Hex, "%04X", Po.Language->Table);
      const std::string Block = Output.substr(0, Output.rfind('.')) + "-" + Hex + ".bin";
      const std::vector<std::uint8_t> Bytes = StringBlock(Texts);
      TOutputFile BlockFile(Block, "string table", false);
      BlockFile.Write(Bytes.data(), Bytes.size());
      BlockFile.Commit();
      Script += "LANGUAGE " + std::to_string(Po.Language->Table & 0x3FF) + ", " +
                std::to_string(Po.Language->Table >> 10) + "\n1 6 \"" + Block + "\"\n";
    }
    if (!English)
      throw EFailure("no PO file for English (en)");
    // Through a temporary file: a build stopped midway leaves no half script
    // that looks up to date.
    TOutputFile ScriptFile(Output, "resource script", false);
    ScriptFile.Write(Script.data(), Script.size());
    ScriptFile.Commit();
  } catch (const EFailure& Failure) {
    WriteText(stderr, "texttables: " + OneLine(Failure.what()) + "\n");
    return 1;
  }
  return 0;
}
