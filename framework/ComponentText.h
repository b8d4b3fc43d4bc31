// The readable text form of a window description, compiled to and printed from
// the model of ComponentStream.h.
//
//   object InstallerForm: TInstallerForm      (inherited / inline for those flags,
//     Caption = 'Install'#13#10'now'           [N] after the class for a child position)
//     Left = -8                                integers, smallest width on writing
//     Scale = 1.5                              extended; Single / Double / Date / Currency 1.5
//     Color = clBtnFace                        identifier; &Name or &'any text' escapes one
//     AutoSize = True                          True, False, nil, null
//     Font.Style = [fsBold, fsItalic]          set
//     Lines = ('a' 'b')                        list
//     Glyph.Data = {0A1B2C}                    binary, hex
//     Title = Wide 'caf'#233                   wide string (UTF-16 units); Utf8 '...' for UTF-8
//     Picture.Data = file 'bg.jpg' as TJPEGImage   picture built from a file (or TIcon)
//     Items = < item [2] Width = 5 end >       collection, optional order
//     object Child: TImage ... end             children follow the properties
//   end
//
// A float that no decimal can give exactly is printed as its stored bytes:
// Extended {..}, Single {..}, Double {..}, Date {..}. Long strings may be split
// with '+'; '//' starts a comment.
//
// ComponentTextLexer.h reads its words, ComponentTextParser.h compiles it and
// ComponentTextPrinter.h prints it.
#pragma once

#include "ComponentTextParser.h"
#include "ComponentTextPrinter.h"
