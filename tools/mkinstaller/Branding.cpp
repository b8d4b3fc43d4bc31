#include "Branding.h"

#include <cstdio>
#include <memory>

#include "Classes.h"
#include "ComponentStream.h"
#include "Files.h"
#include "IconFile.h"
#include "JpegDecoder.h"
#include "LittleEndian.h"
#include "PeImage.h"
#include "SysUtils.h"
#include "WindowsFormats.h"

namespace mkinstaller {
namespace {

std::string Dimensions(int width, int height) { return std::to_string(width) + " x " + std::to_string(height); }

// Of the icon's 32 x 32 images, the one with the most colours: the one the
// installer window's out-of-sight title picture keeps.
const TIconImage& TitleImage(const TBrandFile& file, const std::vector<TIconImage>& images) {
  const TIconImage* best = nullptr;
  for (const TIconImage& image : images)
    if (image.Width == IconSize && image.Height == IconSize && (!best || image.BitCount > best->BitCount))
      best = &image;
  if (!best)
    throw EFailure(file.Name + " holds no " + Dimensions(IconSize, IconSize) + " image");
  return *best;
}

std::vector<TIconImage> ReadIcon(const TBrandFile& file) {
  try {
    return ParseIconFile(file.Data);
  } catch (const EPeError& error) {
    throw EFailure(file.Name + " is not an icon file: " + error.what());
  }
}

TStreamObject* FindControl(TStreamObject& parent, const std::string& name) {
  for (TStreamObject& child : parent.Children) {
    if (child.Name == name)
      return &child;
    if (TStreamObject* found = FindControl(child, name))
      return found;
  }
  return nullptr;
}

// The code points of UTF-8 `text`; throws EFailure where it is no UTF-8.
std::u32string CodePoints(const std::string& text) {
  std::u32string points;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || i + length > text.size())
      throw EFailure("button label is not UTF-8 text");
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80)
        throw EFailure("button label is not UTF-8 text");
      point = (point << 6) | (next & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000))
      throw EFailure("button label is not UTF-8 text");
    points.push_back(point);
    i += length;
  }
  return points;
}

// The label as the description stores text: plain when it is ASCII, else
// UTF-16, which the installer turns into its code page's spelling.
TStreamValue HintValue(const std::string& label) {
  const std::u32string points = CodePoints(label);
  bool ascii = true;
  for (char32_t point : points)
    ascii = ascii && point < 0x80;
  if (ascii)
    return TStreamValue::String(label);
  std::u16string units;
  for (char32_t point : points) {
    if (point < 0x10000) {
      units.push_back(static_cast<char16_t>(point));
    } else {
      units.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
    }
  }
  return TStreamValue::WideString(std::move(units));
}

// A reader's message about a damaged description, which may quote names
// read from it: bytes in the host's ANSI code page, shown as printable ASCII.
std::string DescriptionText(const std::string& message) {
  return Printable(std::u16string(message.begin(), message.end()));
}

// The window description with the pictures given in place of its own.
std::vector<std::uint8_t> RewriteDescription(const std::vector<std::uint8_t>& stored, const std::string& hostName,
                                             const TBrandFiles& files, const std::vector<std::uint8_t>& titleIcon) {
  TMemoryStream in(stored);
  TStreamObject root;
  try {
    root = ReadComponentStream(in);
  } catch (const Exception& error) {
    throw EFailure(hostName + " has a window description that cannot be read: " + DescriptionText(error.Message()));
  }
  const auto replace = [&](const char* control, const char* property, const char* className,
                           const std::vector<std::uint8_t>& data) {
    // The reader sets properties in stream order, so of two copies the
    // last is the one shown.
    TStreamProperty* found = nullptr;
    if (TStreamObject* object = FindControl(root, control))
      for (TStreamProperty& p : object->Properties)
        if (p.Name == property)
          found = &p;
    if (!found)
      throw EFailure(hostName + " has no " + control + "." + property + " in its window description");
    found->Value = TStreamValue::Binary(EncodePictureValue({className, data}));
  };
  if (files.Background.Given)
    replace("Image1", "Picture.Data", "TJPEGImage", files.Background.Data);
  if (files.Button.Given)
    for (const char* property : {"Picture.Data", "OriginPicture.Data", "DownPicture.Data"})
      replace("MouseEffectImage1", property, "TJPEGImage", files.Button.Data);
  if (files.Hover.Given)
    replace("MouseEffectImage1", "OverPicture.Data", "TJPEGImage", files.Hover.Data);
  if (files.Icon.Given)
    replace("imgTitle", "Picture.Data", "TIcon", titleIcon);
  if (files.ButtonLabel) {
    TStreamObject* button = FindControl(root, "MouseEffectImage1");
    if (!button)
      throw EFailure(hostName + " has no MouseEffectImage1 in its window description");
    TStreamProperty* hint = nullptr;
    for (TStreamProperty& p : button->Properties)
      if (p.Name == "Hint")
        hint = &p;
    if (!hint)
      hint = &button->Properties.emplace_back(TStreamProperty{"Hint", TStreamValue::Null()});
    hint->Value = HintValue(*files.ButtonLabel);
  }

  TMemoryStream out;
  try {
    WriteComponentStream(out, root);
  } catch (const Exception& error) {
    throw EFailure(hostName +
                   " has a window description that cannot be written back: " + DescriptionText(error.Message()));
  }
  std::vector<std::uint8_t> rewritten = out.Data();
  // Whatever followed the description in the resource stays behind it.
  rewritten.insert(rewritten.end(), stored.begin() + static_cast<std::ptrdiff_t>(in.Position()), stored.end());
  return rewritten;
}

const TResourceId FormType = TResourceId::Number(RtRcData);
const char* const DoubleSizeResource = "TINSTALLERFORM2X";

// The host's double-size pictures (a description of their own, each under the
// picture property it doubles) with the files given, or null when none is
// left; `stored` is the host's (null if it has none), `form` the window
// description, whose root the new one names.
std::unique_ptr<std::vector<std::uint8_t>> RewriteDoubleSize(const TResource* stored, const TResource& form,
                                                             const std::string& hostName, const TBrandFiles& files) {
  TStreamObject root;
  try {
    TMemoryStream in(stored ? stored->Data : form.Data);
    root = ReadComponentStream(in);
  } catch (const Exception& error) {
    throw EFailure(hostName + " has " + (stored ? "double-size pictures" : "a window description") +
                   " that cannot be read: " + error.Message());
  }
  if (!stored) {
    root.Properties.clear();
    root.Children.clear();
  }
  const struct {
    const char* Key;
    const TBrandFile& Single;
    const TBrandFile& Double;
  } doubles[] = {
      {"Image1.Picture", files.Background, files.Background2x},
      {"MouseEffectImage1.Picture", files.Button, files.Button2x},
      {"MouseEffectImage1.OriginPicture", files.Button, files.Button2x},
      {"MouseEffectImage1.DownPicture", files.Button, files.Button2x},
      {"MouseEffectImage1.OverPicture", files.Hover, files.Hover2x},
  };
  for (const auto& d : doubles) {
    if (!d.Single.Given && !d.Double.Given)
      continue;
    std::erase_if(root.Properties, [&](const TStreamProperty& p) { return p.Name == d.Key; });
    if (d.Double.Given)
      root.Properties.push_back({d.Key, TStreamValue::Binary(EncodePictureValue({"TJPEGImage", d.Double.Data}))});
  }
  if (root.Properties.empty())
    return nullptr;
  TMemoryStream out;
  WriteComponentStream(out, root);
  return std::make_unique<std::vector<std::uint8_t>>(out.Data());
}

}  // namespace

TPeImage CheckHost(std::vector<std::uint8_t> host, const std::string& hostName) {
  const auto notOurs = [&](const std::string& why) {
    return EFailure(hostName + " is not an InstallerWin program: " + why);
  };
  // Parse checks the rest of the headers; these two it does not need.
  if (host.size() >= DosHeader::Size && host[0] == 'M' && host[1] == 'Z') {
    const std::uint64_t pe = Get32(host, DosHeader::NewHeaderPointer, "");
    const std::uint64_t fileHeader = pe + PeSignatureSize;
    if (Fits(host, fileHeader, FileHeader::Size) && Get32(host, pe, "") == PeSignature) {
      if (const std::uint16_t machine = Get16(host, fileHeader + FileHeader::Machine, "");
          machine != FileHeader::MachineAmd64) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", machine);
        throw notOurs(std::string("it is not an x86-64 program (machine 0x") + hex + ")");
      }
      if (Get16(host, fileHeader + FileHeader::Characteristics, "") & FileHeader::Dll)
        throw notOurs("it is a DLL, not a program");
    }
  }
  TPeImage image = [&] {
    try {
      return TPeImage::Parse(std::move(host));
    } catch (const EPeError& error) {
      throw notOurs(error.what());
    }
  }();
  if (const std::string product = image.VersionString("ProductName"); product != "InstallerWin")
    throw notOurs(product.empty() ? "its version information names no product"
                                  : "its version information names the product '" + product + "'");
  if (!image.Find(FormType, TResourceId::Named("TINSTALLERFORM")))
    throw notOurs("it has no window description TINSTALLERFORM");
  if (!image.Find(TResourceId::Named("EXEFILE"), TResourceId::Named("SKINRES")))
    throw notOurs("it has no skin resource EXEFILE/SKINRES");
  // A package's signature would cover the host alone, and branding would
  // break it; a host that is a package already would carry two payloads.
  if (image.HasCertificateTable())
    throw EFailure(hostName + " is signed: use the program as built, and sign the package afterwards");
  if (const std::uint64_t overlay = image.OverlaySize(); overlay != 0)
    throw EFailure(hostName + " carries " + std::to_string(overlay) + (overlay == 1 ? " byte" : " bytes") +
                   " past its image: use the program as built, not a package");
  return image;
}

void CheckPicture(const TBrandFile& file, int width, int height) {
  const std::vector<std::uint8_t>& data = file.Data;
  if (data.size() < 3 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF)
    throw EFailure(file.Name + " is not a JPEG file");
  const auto wrongSize = [&](int w, int h) {
    return EFailure(file.Name + " is " + Dimensions(w, h) + " pixels; it must be " + Dimensions(width, height));
  };
  // A picture of the wrong size is not worth decoding.
  if (int w = 0, h = 0; ReadJpegSize(data.data(), data.size(), w, h) && (w != width || h != height))
    throw wrongSize(w, h);
  TDecodedImage image;
  try {
    image = DecodeJpeg(data.data(), data.size());
  } catch (const Exception& error) {
    throw EFailure(file.Name + " cannot be decoded by the installer: " + error.Message());
  }
  if (image.Width != width || image.Height != height)
    throw wrongSize(image.Width, image.Height);
  if (image.Components != 1 && image.Components != 3)
    throw EFailure(file.Name + " has " + std::to_string(image.Components) +
                   " colour components (CMYK?); the installer takes grey or colour pictures");
  if (!image.Warning.empty())
    throw EFailure(file.Name + " is damaged: " + image.Warning);
}

void CheckButtonLabel(const std::string& label) {
  const std::size_t length = CodePoints(label).size();
  if (length == 0)
    throw EFailure("button label is empty");
  if (length > MaxButtonLabel)
    throw EFailure("button label is " + std::to_string(length) + " characters long; at most " +
                   std::to_string(MaxButtonLabel) + " are taken");
}

std::vector<std::uint8_t> BrandHost(std::vector<std::uint8_t> host, const std::string& hostName,
                                    const TBrandFiles& files) {
  if (files.ButtonLabel)
    CheckButtonLabel(*files.ButtonLabel);
  if (files.Background.Given)
    CheckPicture(files.Background, BackgroundWidth, BackgroundHeight);
  if (files.Button.Given)
    CheckPicture(files.Button, ButtonWidth, ButtonHeight);
  if (files.Hover.Given)
    CheckPicture(files.Hover, ButtonWidth, ButtonHeight);
  if (files.Background2x.Given)
    CheckPicture(files.Background2x, 2 * BackgroundWidth, 2 * BackgroundHeight);
  if (files.Button2x.Given)
    CheckPicture(files.Button2x, 2 * ButtonWidth, 2 * ButtonHeight);
  if (files.Hover2x.Given)
    CheckPicture(files.Hover2x, 2 * ButtonWidth, 2 * ButtonHeight);
  std::vector<TIconImage> icon;
  std::vector<std::uint8_t> titleIcon;
  if (files.Icon.Given) {
    icon = ReadIcon(files.Icon);
    titleIcon = MakeIconFile({TitleImage(files.Icon, icon)});
  }
  if (files.Skin.Given && files.Skin.Data.empty())
    throw EFailure(files.Skin.Name + " is empty");

  TPeImage image = CheckHost(std::move(host), hostName);
  const TResourceId mainIcon = TResourceId::Named("MAINICON");
  if (files.Icon.Given && !image.Find(TResourceId::Number(RtGroupIcon), mainIcon))
    throw EFailure(hostName + " has no application icon MAINICON");
  TResource* form = image.Find(FormType, TResourceId::Named("TINSTALLERFORM"));
  form->Data = RewriteDescription(form->Data, hostName, files, titleIcon);
  const TResourceId doubleSizeName = TResourceId::Named(DoubleSizeResource);
  if (files.Background.Given || files.Button.Given || files.Hover.Given || files.Background2x.Given ||
      files.Button2x.Given || files.Hover2x.Given) {
    const TResource* stored = image.Find(FormType, doubleSizeName);
    auto doubled = RewriteDoubleSize(stored, *form, hostName, files);
    const TResource formCopy = *form;
    // Changes the list of resources: `form` and `stored` point into it.
    std::erase_if(image.Resources(),
                  [&](const TResource& r) { return r.Type.Matches(FormType) && r.Name.Matches(doubleSizeName); });
    if (doubled)
      image.Resources().push_back({FormType, doubleSizeName, formCopy.Language, formCopy.CodePage, *doubled});
  }
  if (files.Skin.Given)
    image.Find(TResourceId::Named("EXEFILE"), TResourceId::Named("SKINRES"))->Data = files.Skin.Data;
  try {
    // Last: it changes the list of resources the pointers above point into.
    if (files.Icon.Given)
      ReplaceIconGroup(image, mainIcon, icon);
    return image.Write();
  } catch (const EPeError& error) {
    throw EFailure(hostName + " cannot be rebuilt: " + error.what());
  }
}

}  // namespace mkinstaller
