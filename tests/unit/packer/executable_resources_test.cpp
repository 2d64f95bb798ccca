#include "executable_config.h"
#include "executable_resources.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "toml_config.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kPe = 0x80;
constexpr uint32_t kOptional = kPe + 24;
constexpr uint32_t kSectionTable = kOptional + 0xF0;
constexpr uint32_t kDirectories = kOptional + 112;

void put16(Bytes& b, size_t at, uint16_t v) { writeLe16(b, at, v); }
void put32(Bytes& b, size_t at, uint32_t v) { writeLe32(b, at, v); }

// A small 64-bit image shaped like the prebuilt launcher: a .text section holding an export
// table (the launcher's window-border export, or another name), a .rsrc section with a
// manifest and a message table, and a .reloc section last.
Bytes makeImage(const char* exportName =
                    "Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_"
                    "registryGetIntValue") {
    Bytes image(0x400, 0);
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 0x3C, kPe);
    image[kPe] = 'P';
    image[kPe + 1] = 'E';
    put16(image, kPe + 4, 0x8664);
    put16(image, kPe + 6, 3);
    put16(image, kPe + 20, 0xF0);
    put16(image, kOptional, 0x20b);
    put32(image, kOptional + 32, 0x1000);
    put32(image, kOptional + 36, 0x200);
    put32(image, kOptional + 56, 0x4000);
    put32(image, kOptional + 60, 0x400);
    put16(image, kOptional + 68, kSubsystemConsole);
    put32(image, kOptional + 108, 16);

    // .text at 0x1000: the export directory, its name pointer array and the name.
    Bytes text(0x200, 0);
    put32(text, 24, 1);                // number of names
    put32(text, 32, 0x1000 + 0x40);    // address of names
    put32(text, 0x40, 0x1000 + 0x50);  // the one name's RVA
    std::string name = exportName;
    std::copy(name.begin(), name.end(), text.begin() + 0x50);
    put32(image, kDirectories + 8 * kExportDirectory, 0x1000);
    put32(image, kDirectories + 8 * kExportDirectory + 4, 0x40);

    std::string manifest =
        "<assembly><trustInfo><security><requestedPrivileges><requestedExecutionLevel level=\"asInvoker\" "
        "uiAccess=\"false\"/></requestedPrivileges></security></trustInfo></assembly>";
    ResourceEntry manifestEntry;
    manifestEntry.type.id = kResourceManifest;
    manifestEntry.name.id = 1;
    manifestEntry.language = 0x409;
    manifestEntry.data.assign(manifest.begin(), manifest.end());
    ResourceEntry messages;
    messages.type.id = 11;
    messages.name.id = 1;
    messages.language = 0x409;
    messages.data = {1, 2, 3, 4};
    Bytes rsrc = writeResourceTree({manifestEntry, messages}, 0x2000);
    rsrc.resize((rsrc.size() + 0x1FF) / 0x200 * 0x200, 0);
    put32(image, kDirectories + 8 * kResourceDirectory, 0x2000);
    put32(image, kDirectories + 8 * kResourceDirectory + 4, 0x200);

    Bytes reloc(0x200, 0xEE);
    struct Section {
        const char* name;
        uint32_t rva;
        const Bytes& data;
    } sections[] = {{".text", 0x1000, text}, {".rsrc", 0x2000, rsrc}, {".reloc", 0x3000, reloc}};
    for (size_t i = 0; i < 3; ++i) {
        const size_t header = kSectionTable + 40 * i;
        std::string n = sections[i].name;
        std::copy(n.begin(), n.end(), image.begin() + header);
        put32(image, header + 8, static_cast<uint32_t>(sections[i].data.size()));
        put32(image, header + 12, sections[i].rva);
        put32(image, header + 16, static_cast<uint32_t>(sections[i].data.size()));
        put32(image, header + 20, static_cast<uint32_t>(image.size()));
        image.insert(image.end(), sections[i].data.begin(), sections[i].data.end());
    }
    return image;
}

// An .ico file with one image per size; each image's bytes are distinct.
Bytes makeIco(const std::vector<uint8_t>& sizes) {
    Bytes ico(6 + 16 * sizes.size(), 0);
    put16(ico, 2, 1);
    put16(ico, 4, static_cast<uint16_t>(sizes.size()));
    for (size_t i = 0; i < sizes.size(); ++i) {
        const size_t entry = 6 + 16 * i;
        ico[entry] = sizes[i];
        ico[entry + 1] = sizes[i];
        put16(ico, entry + 4, 1);
        put16(ico, entry + 6, 32);
        Bytes data(40 + sizes[i], static_cast<uint8_t>(0x10 + i));
        put32(ico, entry + 8, static_cast<uint32_t>(data.size()));
        put32(ico, entry + 12, static_cast<uint32_t>(ico.size()));
        ico.insert(ico.end(), data.begin(), data.end());
    }
    return ico;
}

class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/packer_exeXXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    void write(const std::string& name, const Bytes& bytes) const {
        std::ofstream(path_ + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Reads `toml` as a configuration in `folder`; fails the test on a mistake.
ExecutableOptions options(const Folder& folder, const std::string& toml) {
    Description d;
    std::string error;
    EXPECT_TRUE(parseTomlConfig(toml, "app.toml", folder.path(), d, error)) << error;
    return d.executable;
}

std::string refusal(const Folder& folder, const std::string& toml) {
    Description d;
    std::string error;
    EXPECT_FALSE(parseTomlConfig(toml, "app.toml", folder.path(), d, error)) << "accepted:\n" << toml;
    return error;
}

Bytes shipped(Bytes image, const ExecutableOptions& o, std::vector<std::string>* notes = nullptr) {
    std::vector<std::string> ignored;
    std::string error;
    EXPECT_TRUE(shipExecutable(image, o, notes ? *notes : ignored, error)) << error;
    return image;
}

std::vector<ResourceEntry> resources(const Bytes& image) {
    PeLayout layout;
    std::string error;
    EXPECT_TRUE(layout.read(image, error)) << error;
    std::vector<ResourceEntry> entries;
    EXPECT_TRUE(readResourceTree(image, layout, layout.dataDirectory(image, kResourceDirectory), entries, error))
        << error;
    return entries;
}

std::vector<const ResourceEntry*> ofType(const std::vector<ResourceEntry>& entries, uint32_t type) {
    std::vector<const ResourceEntry*> found;
    for (const ResourceEntry& e : entries)
        if (e.type.text.empty() && e.type.id == type) found.push_back(&e);
    return found;
}

bool holdsUtf16(const Bytes& data, const char* ascii) {
    Bytes wide;
    for (const char* p = ascii; *p; ++p) wide.insert(wide.end(), {static_cast<uint8_t>(*p), 0});
    return std::search(data.begin(), data.end(), wide.begin(), wide.end()) != data.end();
}

const char* kFullTable = R"toml(
[executable]
icon = "app.ico"
file_version = "1.2.3"
product_version = "4.5.6.7"
product_name = "Demo Product"
company = "Brightmoor"
description = "Demo – ünïcode"
copyright = "(c) 2026"
original_filename = "Demo.exe"
internal_name = "demo"
execution_level = "requireAdministrator"
dpi_awareness = "per-monitor-v2"
long_path_aware = true
subsystem = "gui"
)toml";

TEST(ExecutableImage, ResourcesAndSubsystemAreWrittenIntoANewLastSection) {
    Folder folder;
    folder.write("app.ico", makeIco({16, 32, 48}));
    const Bytes prebuilt = makeImage();
    const Bytes image = shipped(prebuilt, options(folder, kFullTable));

    PeLayout layout;
    std::string error;
    ASSERT_TRUE(layout.read(image, error)) << error;
    ASSERT_EQ(layout.sections().size(), 4u);
    const SectionHeader& added = layout.sections().back();
    EXPECT_EQ(added.name, ".packres");
    EXPECT_EQ(added.virtualAddress, 0x4000u);
    EXPECT_EQ(added.rawPointer, prebuilt.size());
    EXPECT_EQ(added.rawSize % 0x200, 0u);
    EXPECT_EQ(image.size(), uint64_t{added.rawPointer} + added.rawSize);
    // SizeOfImage covers the new section, rounded to the section alignment.
    EXPECT_EQ(readLe32(image, kOptional + 56), (added.virtualAddress + added.virtualSize + 0xFFF) / 0x1000 * 0x1000);
    const DataDirectory rsrc = layout.dataDirectory(image, kResourceDirectory);
    EXPECT_GE(rsrc.rva, added.virtualAddress);
    EXPECT_LE(rsrc.rva + rsrc.size, added.virtualAddress + added.virtualSize);
    EXPECT_EQ(layout.subsystem(image), kSubsystemGui);
    // The sections before are untouched.
    EXPECT_TRUE(std::equal(prebuilt.begin() + 0x400, prebuilt.end(), image.begin() + 0x400));

    const std::vector<ResourceEntry> entries = resources(image);
    // Every image of the icon file is an RT_ICON; the group lists them by size and id.
    const auto icons = ofType(entries, kResourceIcon);
    const auto groups = ofType(entries, kResourceGroupIcon);
    ASSERT_EQ(icons.size(), 3u);
    ASSERT_EQ(groups.size(), 1u);
    const Bytes& group = groups[0]->data;
    ASSERT_EQ(group.size(), 6u + 3 * 14);
    EXPECT_EQ(readLe16(group, 4), 3);
    for (size_t i = 0; i < 3; ++i) {
        const size_t entry = 6 + 14 * i;
        EXPECT_EQ(group[entry], std::vector<uint8_t>({16, 32, 48})[i]);
        EXPECT_EQ(readLe16(group, entry + 6), 32);
        const uint16_t id = readLe16(group, entry + 12);
        const ResourceEntry* icon = nullptr;
        for (const ResourceEntry* e : icons)
            if (e->name.id == id) icon = e;
        ASSERT_NE(icon, nullptr) << "group entry " << i << " names icon " << id;
        EXPECT_EQ(readLe32(group, entry + 8), icon->data.size());
        EXPECT_EQ(icon->data[0], 0x10 + i);
    }

    const auto versions = ofType(entries, kResourceVersion);
    ASSERT_EQ(versions.size(), 1u);
    const Bytes& version = versions[0]->data;
    EXPECT_EQ(versions[0]->language, 0x409u);
    EXPECT_EQ(readLe16(version, 0), version.size());
    ASSERT_GE(version.size(), 40u + 52);
    EXPECT_EQ(readLe32(version, 40), 0xFEEF04BDu);
    EXPECT_EQ(readLe32(version, 48), 0x00010002u);  // file version 1.2.3 padded: 1.2 | 3.0
    EXPECT_EQ(readLe32(version, 52), 0x00030000u);
    EXPECT_EQ(readLe32(version, 56), 0x00040005u);
    EXPECT_EQ(readLe32(version, 60), 0x00060007u);
    for (const char* text : {"040904B0", "FileVersion", "1.2.3", "ProductName", "Demo Product", "CompanyName",
                             "LegalCopyright", "OriginalFilename", "Demo.exe", "InternalName", "Translation"})
        EXPECT_TRUE(holdsUtf16(version, text)) << text;
    const Bytes unicode = {'D', 0, 'e', 0, 'm', 0, 'o', 0, ' ', 0, 0x13, 0x20, ' ', 0, 0xFC, 0};
    EXPECT_NE(std::search(version.begin(), version.end(), unicode.begin(), unicode.end()), version.end());

    const auto manifests = ofType(entries, kResourceManifest);
    ASSERT_EQ(manifests.size(), 1u);
    const std::string xml(manifests[0]->data.begin(), manifests[0]->data.end());
    EXPECT_NE(xml.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos) << xml;
    EXPECT_NE(xml.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos) << xml;
    EXPECT_NE(xml.find(">true</longPathAware>"), std::string::npos) << xml;
    EXPECT_LT(xml.find("</windowsSettings>"), xml.find("</assembly>"));
    // Resources the table does not name stay.
    ASSERT_EQ(ofType(entries, 11).size(), 1u);
    EXPECT_EQ(ofType(entries, 11)[0]->data, Bytes({1, 2, 3, 4}));
}

TEST(ExecutableImage, PackingAgainReplacesAndLeavingTheTableOutRestoresThePrebuiltImage) {
    Folder folder;
    folder.write("app.ico", makeIco({16, 32}));
    folder.write("other.ico", makeIco({24}));
    const Bytes prebuilt = makeImage();
    const ExecutableOptions full = options(folder, kFullTable);
    const ExecutableOptions other =
        options(folder, "[executable]\nicon = \"other.ico\"\nproduct_name = \"Other\"\nsubsystem = \"console\"\n");

    const Bytes once = shipped(prebuilt, full);
    EXPECT_EQ(shipped(once, full), once);
    EXPECT_EQ(shipped(once, other), shipped(prebuilt, other));
    EXPECT_EQ(shipped(once, ExecutableOptions()), prebuilt);
    EXPECT_EQ(shipped(prebuilt, ExecutableOptions()), prebuilt);

    const std::vector<ResourceEntry> entries = resources(shipped(once, other));
    EXPECT_EQ(ofType(entries, kResourceIcon).size(), 1u);
    EXPECT_EQ(ofType(entries, kResourceGroupIcon).size(), 1u);
    const std::string xml(ofType(entries, kResourceManifest)[0]->data.begin(),
                          ofType(entries, kResourceManifest)[0]->data.end());
    EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos) << xml;
    EXPECT_EQ(xml.find("windowsSettings"), std::string::npos) << xml;
}

TEST(ExecutableImage, InspectPrintsTheTableThatPacksToTheSameImage) {
    Folder folder;
    folder.write("app.ico", makeIco({16}));
    const ExecutableOptions full = options(folder, kFullTable);
    const Bytes image = shipped(makeImage(), full);
    ExecutableOptions read;
    std::string error;
    ASSERT_TRUE(readShippedOptions(image, read, error)) << error;
    EXPECT_EQ(read.given, full.given);
    const std::string printed = executableTable(read);
    EXPECT_EQ(shipped(makeImage(), options(folder, printed)), image) << printed;

    ASSERT_TRUE(readShippedOptions(makeImage(), read, error)) << error;
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(executableTable(read), "");
}

TEST(ExecutableImage, ASignatureIsRemovedWithANote) {
    Bytes signedImage = makeImage();
    put32(signedImage, kDirectories + 8 * kSecurityDirectory, 0x1234);
    put32(signedImage, kDirectories + 8 * kSecurityDirectory + 4, 0x80);
    for (const ExecutableOptions& o : {ExecutableOptions(), options(Folder(), "[executable]\nsubsystem = \"gui\"\n")}) {
        std::vector<std::string> notes;
        const Bytes out = shipped(signedImage, o, &notes);
        EXPECT_EQ(readLe32(out, kDirectories + 8 * kSecurityDirectory), 0u);
        EXPECT_EQ(readLe32(out, kDirectories + 8 * kSecurityDirectory + 4), 0u);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_NE(notes[0].find("sign it after packing"), std::string::npos) << notes[0];
    }
    std::vector<std::string> notes;
    shipped(makeImage(), ExecutableOptions(), &notes);
    EXPECT_TRUE(notes.empty());
}

TEST(ExecutableImage, OnlyOurLaunchersAreAccepted) {
    PeLayout layout;
    std::string error;
    const Bytes ours = makeImage();
    ASSERT_TRUE(layout.read(ours, error));
    EXPECT_TRUE(isOurLauncher(ours, layout, error)) << error;
    const Bytes decorated =
        makeImage("_Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue@16");
    ASSERT_TRUE(layout.read(decorated, error));
    EXPECT_TRUE(isOurLauncher(decorated, layout, error)) << error;
    const Bytes other = makeImage("Java_com_example_Other_registryGetIntValue");
    ASSERT_TRUE(layout.read(other, error));
    EXPECT_FALSE(isOurLauncher(other, layout, error));
    EXPECT_NE(error.find("not a launcher of this project"), std::string::npos) << error;
    Bytes noExports = makeImage();
    put32(noExports, kDirectories, 0);
    put32(noExports, kDirectories + 4, 0);
    ASSERT_TRUE(layout.read(noExports, error));
    EXPECT_FALSE(isOurLauncher(noExports, layout, error));
}

TEST(ExecutableImage, ChecksumIsTheFoldedWordSumPlusTheLength) {
    // Words 0x0201, 0xFFFF (folds to 0x0201 + 0xFFFF = 0x10200 -> 0x0201), the field skipped,
    // then 0x0005; plus the length 12.
    Bytes file = {0x01, 0x02, 0xFF, 0xFF, 0xAA, 0xBB, 0xCC, 0xDD, 0x05, 0x00, 0x00, 0x00};
    EXPECT_EQ(peChecksum(file, 4), 0x0201u + 0x0005u + 12u);
    file.push_back(0x07);  // an odd length counts the last byte as a word's low half
    EXPECT_EQ(peChecksum(file, 4), 0x0201u + 0x0005u + 0x0007u + 13u);
}

TEST(ExecutableConfig, IconFilesAreReadWholeAndMistakesNamed) {
    Folder folder;
    folder.write("five.ico", makeIco({16, 24, 32, 48, 64}));
    EXPECT_EQ(options(folder, "[executable]\nicon = \"five.ico\"\n").iconImages.size(), 5u);

    Bytes cut = makeIco({16, 32});
    cut.resize(cut.size() - 10);
    folder.write("cut.ico", cut);
    folder.write("text.ico", Bytes{'h', 'e', 'l', 'l', 'o', '\n', 'x', 'y'});
    Bytes empty = makeIco({16});
    put16(empty, 4, 0);
    folder.write("none.ico", empty);

    EXPECT_EQ(refusal(folder, "\n[executable]\nicon = \"missing.ico\"\n"),
              "app.toml:3: executable.icon \"missing.ico\" does not exist");
    EXPECT_EQ(refusal(folder, "[executable]\nicon = \"cut.ico\"\n"),
              "app.toml:2: executable.icon \"cut.ico\" is damaged: image 2 lies outside the file");
    EXPECT_EQ(refusal(folder, "[executable]\nicon = \"text.ico\"\n"),
              "app.toml:2: executable.icon \"text.ico\" is not an icon file (no icon directory at its start)");
    EXPECT_EQ(refusal(folder, "[executable]\nicon = \"none.ico\"\n"),
              "app.toml:2: executable.icon \"none.ico\" holds 0 images (an icon file holds 1 to 256)");
}

TEST(ExecutableConfig, ValuesAreCheckedWithTheirLine) {
    Folder folder;
    EXPECT_EQ(refusal(folder, "[executable]\n\nexecution_level = \"admin\"\n"),
              "app.toml:3: executable.execution_level \"admin\" must be \"asInvoker\", \"requireAdministrator\" or "
              "\"highestAvailable\"");
    EXPECT_EQ(refusal(folder, "[executable]\ndpi_awareness = \"permonitor\"\n").substr(0, 47),
              "app.toml:2: executable.dpi_awareness \"permonito");
    EXPECT_EQ(refusal(folder, "[executable]\nsubsystem = \"windows\"\n"),
              "app.toml:2: executable.subsystem \"windows\" must be \"console\" or \"gui\"");
    for (const char* bad : {"1.2.3.4.5", "1..2", "65536", "1.x", ""})
        EXPECT_NE(refusal(folder, std::string("[executable]\nfile_version = \"") + bad + "\"\n")
                      .find("is not a version of one to four numbers"),
                  std::string::npos)
            << bad;
    EXPECT_EQ(options(folder, "[executable]\nfile_version = \"65535.0.1\"\n").value("file_version"), "65535.0.1");
    EXPECT_NE(refusal(folder, "[executable]\nversion_language = \"0409\"\n").find("eight hexadecimal digits"),
              std::string::npos);
    EXPECT_EQ(refusal(folder, "[executable]\nlong_path_aware = \"yes\"\n"),
              "app.toml:2: executable.long_path_aware must be a boolean (true or false)");
    EXPECT_EQ(refusal(folder, "[executable]\nproduct_name = 3\n"),
              "app.toml:2: executable.product_name must be a string");
    EXPECT_EQ(refusal(folder, "[executable]\nicon_file = \"a.ico\"\n"),
              "app.toml:2: unknown key \"icon_file\" in [executable]");
}

TEST(ExecutableConfig, EveryMistakeOfTheTableIsReportedInLineOrderWithSuggestions) {
    Folder folder;
    const std::string error = refusal(folder, R"([executable]
subsystem = "windows"
product_nmae = "Example"
long_path_aware = "yes"
icon = "missing.ico"
file_version = "1.2.3"
main_class = "a.B"
[executable.version]
[java]
min_version = "x"
)");
    std::vector<std::string> reported;
    std::istringstream lines(error);
    for (std::string line; std::getline(lines, line);) reported.push_back(line);
    const std::vector<std::string> expected = {
        "app.toml:2: executable.subsystem \"windows\" must be \"console\" or \"gui\"",
        "app.toml:3: unknown key \"product_nmae\" in [executable] (did you mean product_name?)",
        "app.toml:4: executable.long_path_aware must be a boolean (true or false)",
        "app.toml:5: executable.icon \"missing.ico\" does not exist",
        "app.toml:7: unknown key \"main_class\" in [executable] (did you mean [application] main_class?)",
        "app.toml:8: unknown table [executable.version]",
        "app.toml:10: java.min_version \"x\" is not a version: digits in pieces joined by '.', '_', '-' or '+', "
        "e.g. \"1.8.0_201\" or \"17\"",
    };
    EXPECT_EQ(reported, expected);
}

TEST(ExecutableConfig, VersionLanguageNamesTheStringTableAndTranslation) {
    Folder folder;
    const ExecutableOptions o =
        options(folder, "[executable]\nversion_language = \"040704E4\"\nproduct_name = \"Produkt\"\n");
    const Bytes version = buildVersionInfo(o);
    EXPECT_TRUE(holdsUtf16(version, "040704E4"));
    EXPECT_FALSE(holdsUtf16(version, "FileVersion"));
    const Bytes translation = {0x07, 0x04, 0xE4, 0x04};
    EXPECT_TRUE(std::equal(translation.begin(), translation.end(), version.end() - 4));
    const std::vector<ResourceEntry> entries = resources(shipped(makeImage(), o));
    const auto versions = ofType(entries, kResourceVersion);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions[0]->language, 0x0407u);
}

}  // namespace
