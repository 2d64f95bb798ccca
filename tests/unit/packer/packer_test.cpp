#include "block_writer.h"
#include "description.h"
#include "pe_image.h"

#include "config/block_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

Description parseOk(const std::string& text, const std::string& base = ".") {
    Description d;
    std::string error;
    EXPECT_TRUE(parseDescription(text, "app.desc", base, d, error)) << error;
    return d;
}

std::string parseError(const std::string& text) {
    Description d;
    std::string error;
    EXPECT_FALSE(parseDescription(text, "app.desc", ".", d, error));
    return error;
}

}  // namespace

TEST(PackerDescription, ValuesAreTakenAsWritten) {
    Description d = parseOk(
        "# comment\n"
        "setting 101 = My Service\n"
        "setting 123 = -Da=b -Dc=\"d e\"\n"
        "setting 146 = C:\\work\\dir \r\n"
        "setting 2 =\n"
        "setting-hex 3 = 41 ff 00\n"
        "message 1000 = Fehler \xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80\n");
    ASSERT_EQ(d.settings.size(), 5u);
    EXPECT_EQ(d.settings[0], (std::pair<int, std::string>{101, "My Service"}));
    EXPECT_EQ(d.settings[1].second, "-Da=b -Dc=\"d e\"");
    EXPECT_EQ(d.settings[2].second, "C:\\work\\dir ");
    EXPECT_EQ(d.settings[3].second, "");
    EXPECT_EQ(d.settings[4].second, std::string("A\xff\0", 3));
    EXPECT_EQ(d.messages[0].second, u"Fehler \u00e4\u20ac\U0001F600");
}

TEST(PackerDescription, SettingsAcceptLatin1OnlyAndMessagesValidUtf8) {
    EXPECT_EQ(parseOk("setting 1 = caf\xc3\xa9\n").settings[0].second, "caf\xe9");
    EXPECT_NE(parseError("setting 1 = \xe2\x82\xac\n").find("app.desc:1:"), std::string::npos);
    EXPECT_NE(parseError("\nmessage 1 = \xc3\n").find("app.desc:2:"), std::string::npos);
    EXPECT_NE(parseError("message 1 = \xed\xa0\x80\n").find("UTF-8"), std::string::npos);  // a surrogate
    EXPECT_NE(parseError("message 1 = \xc0\xaf\n").find("UTF-8"), std::string::npos);      // overlong
}

TEST(PackerDescription, MistakesAreRefusedWithTheirLine) {
    EXPECT_NE(parseError("setting x = 1\n").find("app.desc:1: \"x\" is not a numeric id"), std::string::npos);
    EXPECT_NE(parseError("settings 1 = a\n").find("unknown entry"), std::string::npos);
    EXPECT_NE(parseError("setting 1\n").find("expected"), std::string::npos);
    EXPECT_NE(parseError("locale de\nsetting 1 = a\n").find("app.desc:2:"), std::string::npos);
    EXPECT_NE(parseError("setting-hex 1 = 4\n").find("hex"), std::string::npos);
    EXPECT_NE(parseError("file lib\\a;b.jar = x\n").find(";"), std::string::npos);
    EXPECT_NE(parseError("file a.jar = /nonexistent/file\n").find("cannot read"), std::string::npos);
}

TEST(PackerBlock, RoundTripsThroughTheLaunchersReader) {
    char directory[] = "/tmp/packer_testXXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    std::string base = directory;
    {
        std::ofstream(base + "/a.bin", std::ios::binary).write("\x00\x97\xff", 3);
        std::ofstream(base + "/empty.bin", std::ios::binary);
    }
    Description d = parseOk(
        "setting 101 = Svc\n"
        "message 1000 = Error\n"
        "file lib\\a.jar = a.bin\n"
        "file empty.txt = empty.bin\n"
        "locale de\n"
        "message 1000 = Fehler\n"
        "locale fr\n"
        "message 1000 = Erreur\n",
        base);
    std::vector<uint8_t> block = buildBlock(d);

    MemorySource source(block.data(), block.size());
    BlockReader reader(source);
    ConfigStore store;
    BlockContents contents;
    ASSERT_EQ(parseConfigBlock(
                  reader, store, [] { return std::string("de_CH"); }, contents),
              BlockError::None);
    EXPECT_EQ(store.settings.at(101), "Svc");
    EXPECT_EQ(store.settings.at(2002), "2");
    EXPECT_EQ(store.settings.at(2003), "lib\\a.jar;empty.txt");
    EXPECT_EQ(store.messages.at(1000), L"Fehler");

    // The included-file records follow: 64-bit size, then the content XORed with 0x97.
    int64_t size = 0;
    ASSERT_TRUE(reader.readLong(size));
    EXPECT_EQ(size, 3);
    uint8_t content[3];
    uint32_t got = 0, error = 0;
    ASSERT_TRUE(source.read(content, 3, got, error));
    EXPECT_EQ(content[0], 0x97);
    EXPECT_EQ(content[1], 0x00);
    EXPECT_EQ(content[2], 0x68);
    ASSERT_TRUE(reader.readLong(size));
    EXPECT_EQ(size, 0);
    EXPECT_EQ(source.position(), block.size());

    remove((base + "/a.bin").c_str());
    remove((base + "/empty.bin").c_str());
    rmdir(directory);
}

TEST(PackerBlock, ExplicitIncludedFileSettingsWin) {
    Description d;
    d.settings.emplace_back(2002, "1");
    d.files.push_back(IncludedFile{"a", {1}});
    d.files.push_back(IncludedFile{"b", {2}});
    std::vector<uint8_t> block = buildBlock(d);
    MemorySource source(block.data(), block.size());
    BlockReader reader(source);
    ConfigStore store;
    BlockContents contents;
    ASSERT_EQ(parseConfigBlock(reader, store, nullptr, contents), BlockError::None);
    EXPECT_EQ(store.settings.at(2002), "1");
    EXPECT_EQ(store.settings.at(2003), "a;b");
}

TEST(PackerImage, FindsTheEndOfTheLastSectionAndRefusesOtherFiles) {
    std::vector<uint8_t> image(0x700, 0);
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x80;
    image[0x80] = 'P';
    image[0x81] = 'E';
    image[0x86] = 2;     // sections
    image[0x94] = 0xF0;  // optional header size
    size_t last = 0x80 + 24 + 0xF0 + 40;
    image[last + 17] = 0x02;  // SizeOfRawData 0x200
    image[last + 21] = 0x04;  // PointerToRawData 0x400
    uint64_t end = 0;
    std::string error;
    ASSERT_TRUE(findEndOfImage(image, end, error)) << error;
    EXPECT_EQ(end, 0x600u);

    std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_FALSE(findEndOfImage(text, end, error));
    EXPECT_NE(error.find("MZ"), std::string::npos);

    std::vector<uint8_t> noPe = image;
    noPe[0x80] = 'X';
    EXPECT_FALSE(findEndOfImage(noPe, end, error));
    EXPECT_NE(error.find("PE signature"), std::string::npos);

    std::vector<uint8_t> beyond = image;
    beyond[last + 22] = 0x01;  // PointerToRawData 0x10400: past the end of the file
    EXPECT_FALSE(findEndOfImage(beyond, end, error));

    std::vector<uint8_t> farPe = image;
    farPe[0x3F] = 0x7F;
    EXPECT_FALSE(findEndOfImage(farPe, end, error));
}
