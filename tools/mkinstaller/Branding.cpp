#include "Branding.h"

#include "Classes.h"
#include "ComponentStream.h"
#include "Files.h"
#include "JpegDecoder.h"
#include "IconFile.h"
#include "PeImage.h"
#include "SysUtils.h"

namespace mkinstaller {
namespace {

std::string Dimensions(int width, int height) { return std::to_string(width) + " x " + std::to_string(height); }

// Of the icon's 32 x 32 images, the one with the most colours: the one the
// installer window's out-of-sight title picture keeps.
const IconImage& TitleImage(const BrandFile& file, const std::vector<IconImage>& images) {
    const IconImage* best = nullptr;
    for (const IconImage& image : images)
        if (image.width == kIconSize && image.height == kIconSize && (!best || image.bitCount > best->bitCount))
            best = &image;
    if (!best) throw Failure(file.name + " holds no " + Dimensions(kIconSize, kIconSize) + " image");
    return *best;
}

std::vector<IconImage> ReadIcon(const BrandFile& file) {
    try {
        return ParseIconFile(file.data);
    } catch (const PeError& error) {
        throw Failure(file.name + " is not an icon file: " + error.what());
    }
}

TStreamObject* FindControl(TStreamObject& parent, const std::string& name) {
    for (TStreamObject& child : parent.Children) {
        if (child.Name == name) return &child;
        if (TStreamObject* found = FindControl(child, name)) return found;
    }
    return nullptr;
}

// The window description with the pictures given in place of its own.
std::vector<std::uint8_t> RewriteDescription(const std::vector<std::uint8_t>& stored, const std::string& hostName,
                                             const BrandFiles& files, const std::vector<std::uint8_t>& titleIcon) {
    TMemoryStream in(stored);
    TStreamObject root;
    try {
        root = ReadComponentStream(in);
    } catch (const Exception& error) {
        throw Failure(hostName + " has a window description that cannot be read: " + error.Message());
    }
    const auto replace = [&](const char* control, const char* property, const char* className,
                             const std::vector<std::uint8_t>& data) {
        TStreamProperty* found = nullptr;
        if (TStreamObject* object = FindControl(root, control))
            for (TStreamProperty& p : object->Properties)
                if (!found && p.Name == property) found = &p;
        if (!found)
            throw Failure(hostName + " has no " + control + "." + property + " in its window description");
        found->Value = TStreamValue::Binary(EncodePictureValue({className, data}));
    };
    if (files.background.given) replace("Image1", "Picture.Data", "TJPEGImage", files.background.data);
    if (files.button.given)
        for (const char* property : {"Picture.Data", "OriginPicture.Data", "DownPicture.Data"})
            replace("MouseEffectImage1", property, "TJPEGImage", files.button.data);
    if (files.hover.given) replace("MouseEffectImage1", "OverPicture.Data", "TJPEGImage", files.hover.data);
    if (files.icon.given) replace("imgTitle", "Picture.Data", "TIcon", titleIcon);

    TMemoryStream out;
    try {
        WriteComponentStream(out, root);
    } catch (const Exception& error) {
        throw Failure(hostName + " has a window description that cannot be written back: " + error.Message());
    }
    std::vector<std::uint8_t> rewritten = out.Data();
    // Whatever followed the description in the resource stays behind it.
    rewritten.insert(rewritten.end(), stored.begin() + static_cast<std::ptrdiff_t>(in.Position()), stored.end());
    return rewritten;
}

const ResourceId kFormType = ResourceId::Number(kRtRcData);

PeImage ParseHost(std::vector<std::uint8_t> host, const std::string& hostName) {
    const auto notOurs = [&](const std::string& why) {
        return Failure(hostName + " is not an InstallerWin program: " + why);
    };
    PeImage image = [&] {
        try {
            return PeImage::Parse(std::move(host));
        } catch (const PeError& error) {
            throw notOurs(error.what());
        }
    }();
    if (const std::string product = image.VersionString("ProductName"); product != "InstallerWin")
        throw notOurs(product.empty() ? "its version information names no product"
                                      : "its version information names the product '" + product + "'");
    if (!image.Find(kFormType, ResourceId::Name("TINSTALLERFORM")))
        throw notOurs("it has no window description TINSTALLERFORM");
    if (!image.Find(ResourceId::Name("EXEFILE"), ResourceId::Name("SKINRES")))
        throw notOurs("it has no skin resource EXEFILE/SKINRES");
    // Branding rebuilds the image: a signature would no longer match, and a
    // payload would be lost.
    if (image.HasCertificateTable())
        throw Failure(hostName + " is signed: brand the program as built, and sign the package afterwards");
    if (const std::uint64_t overlay = image.OverlaySize(); overlay != 0)
        throw Failure(hostName + " carries " + std::to_string(overlay) +
                      " bytes past its image: brand the program as built, not a package");
    return image;
}

}  // namespace

void CheckPicture(const BrandFile& file, int width, int height) {
    const std::vector<std::uint8_t>& data = file.data;
    if (data.size() < 3 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF)
        throw Failure(file.name + " is not a JPEG file");
    const auto wrongSize = [&](int w, int h) {
        return Failure(file.name + " is " + Dimensions(w, h) + " pixels; it must be " + Dimensions(width, height));
    };
    // A picture of the wrong size is not worth decoding.
    if (int w = 0, h = 0; ReadJpegSize(data.data(), data.size(), w, h) && (w != width || h != height))
        throw wrongSize(w, h);
    TDecodedImage image;
    try {
        image = DecodeJpeg(data.data(), data.size());
    } catch (const Exception& error) {
        throw Failure(file.name + " cannot be decoded by the installer: " + error.Message());
    }
    if (image.Width != width || image.Height != height) throw wrongSize(image.Width, image.Height);
    if (image.Components != 1 && image.Components != 3)
        throw Failure(file.name + " has " + std::to_string(image.Components) +
                      " colour components (CMYK?); the installer takes grey or colour pictures");
    if (!image.Warning.empty()) throw Failure(file.name + " is damaged: " + image.Warning);
}

std::vector<std::uint8_t> BrandHost(std::vector<std::uint8_t> host, const std::string& hostName,
                                    const BrandFiles& files) {
    if (files.background.given) CheckPicture(files.background, kBackgroundWidth, kBackgroundHeight);
    if (files.button.given) CheckPicture(files.button, kButtonWidth, kButtonHeight);
    if (files.hover.given) CheckPicture(files.hover, kButtonWidth, kButtonHeight);
    std::vector<IconImage> icon;
    std::vector<std::uint8_t> titleIcon;
    if (files.icon.given) {
        icon = ReadIcon(files.icon);
        titleIcon = MakeIconFile({TitleImage(files.icon, icon)});
    }
    if (files.skin.given && files.skin.data.empty()) throw Failure(files.skin.name + " is empty");

    PeImage image = ParseHost(std::move(host), hostName);
    const ResourceId mainIcon = ResourceId::Name("MAINICON");
    if (files.icon.given && !image.Find(ResourceId::Number(kRtGroupIcon), mainIcon))
        throw Failure(hostName + " has no application icon MAINICON");
    Resource* form = image.Find(kFormType, ResourceId::Name("TINSTALLERFORM"));
    form->data = RewriteDescription(form->data, hostName, files, titleIcon);
    if (files.skin.given) image.Find(ResourceId::Name("EXEFILE"), ResourceId::Name("SKINRES"))->data = files.skin.data;
    try {
        // Last: it changes the list of resources the pointers above point into.
        if (files.icon.given) ReplaceIconGroup(image, mainIcon, icon);
        return image.Write();
    } catch (const PeError& error) {
        throw Failure(hostName + " cannot be rebuilt: " + error.what());
    }
}

}  // namespace mkinstaller
