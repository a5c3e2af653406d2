#include "weather/Rtf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/TestEnv.h"

namespace zeb::weather {

// Readable failure messages.
void PrintTo(const RtfRun& run, std::ostream* os) {
    *os << "{\"" << run.format.face << "\" " << run.format.halfPoints << " #" << std::hex
        << run.format.colour << std::dec << (run.format.bold ? " b" : "")
        << (run.format.italic ? " i" : "") << " \"" << run.text << "\"}";
}

namespace {

RtfFormat format(std::string face, int halfPoints, std::uint32_t colour, bool bold = false,
                 bool italic = false) {
    return RtfFormat{std::move(face), halfPoints, colour, bold, italic};
}

std::string textOf(std::string_view rtf) {
    auto doc = readRtf(rtf);
    EXPECT_TRUE(doc.ok()) << (doc.ok() ? "" : doc.error().message);
    return doc.ok() ? doc->plainText() : std::string("<error>");
}

TEST(RtfWriter, RoundTripKeepsRunsAndWindows1252Bytes) {
    RtfDocument doc;
    doc.runs = {
        {format("Courier New", 20, 0x000000), "WARNING {storm} C:\\SYNOP\n"},
        {format("Arial", 28, 0xFF0000, true),
         "Temperature 12\xB0"
         "C\tWind 8 Bft\n"},
        {format("Times New Roman", 17, 0x0080FF, false, true), "M\xE4rz \x80 5 \xFF\xA0x"},
        {format("Odd;Face \xC4{}", 20, 0x123456, true, true), "  leading blanks\n\n"},
        {format("Courier New", 20, 0x000000), "last line"},
    };
    const std::string rtf = writeRtf(doc);

    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0", 0), 0u);
    EXPECT_NE(rtf.find("\\'b0"), std::string::npos);
    EXPECT_NE(rtf.find("\\'e4"), std::string::npos);
    EXPECT_NE(rtf.find("\\{storm\\}"), std::string::npos);
    EXPECT_NE(rtf.find("C:\\\\SYNOP"), std::string::npos);
    EXPECT_NE(rtf.find("{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;"),
              std::string::npos);
    for (const char c : rtf) ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "raw byte in RTF";

    auto back = readRtf(rtf);
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(back->runs, doc.runs);
}

TEST(RtfWriter, LineEndsAndControlCharacters) {
    RtfDocument doc;
    doc.runs = {{RtfFormat{},
                 "a\r\nb\rc\nd\x01\x1b\x7f"
                 "e"}};
    const std::string rtf = writeRtf(doc);
    EXPECT_EQ(textOf(rtf), "a\nb\nc\nde");

    // An empty document is still a readable file.
    EXPECT_EQ(textOf(writeRtf(RtfDocument{})), "");
}

TEST(RtfReader, CharacterFormatsAndGroups) {
    const std::string rtf =
        "{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0\\froman Times;}{\\f1\\fswiss\\fcharset0 Arial;}}"
        "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
        "plain {\\b bold \\i both\\b0  italic}\\cf2\\fs30\\f0  blue\\par"
        "\\plain reset\\line x\\tab y}";
    auto doc = readRtf(rtf);
    ASSERT_TRUE(doc.ok());
    ASSERT_EQ(doc->runs.size(), 6u);
    EXPECT_EQ(doc->runs[0].text, "plain ");
    EXPECT_EQ(doc->runs[0].format, format("Arial", 24, 0));  // \deff1, RTF's 12 pt
    EXPECT_EQ(doc->runs[1], (RtfRun{format("Arial", 24, 0, true), "bold "}));
    EXPECT_EQ(doc->runs[2], (RtfRun{format("Arial", 24, 0, true, true), "both"}));
    EXPECT_EQ(doc->runs[3], (RtfRun{format("Arial", 24, 0, false, true), " italic"}));
    EXPECT_EQ(doc->runs[4], (RtfRun{format("Times", 30, 0x0000FF), " blue\n"}));
    EXPECT_EQ(doc->runs[5], (RtfRun{format("Arial", 24, 0), "reset\nx\ty"}));
}

TEST(RtfReader, EscapesUnicodeAndSpecialSymbols) {
    EXPECT_EQ(textOf("{\\rtf1 a\\\\b\\{c\\}d}"), "a\\b{c}d");
    EXPECT_EQ(textOf("{\\rtf1 12\\'b0C \\'E4}"),
              "12\xB0"
              "C \xE4");
    EXPECT_EQ(textOf("{\\rtf1 x\\~y\\-z\\_w}"), "x\xA0yz-w");
    // \uN with the default single fallback character, with \uc2, with \uc0,
    // fallbacks given as \'hh, and code points without a Windows-1252 byte.
    EXPECT_EQ(textOf("{\\rtf1 \\u228?\\u8364\\'80 \\u-3913?}"), "\xE4\x80 ?");
    EXPECT_EQ(textOf("{\\rtf1\\uc2 \\u8212--x}"), "\x97x");
    EXPECT_EQ(textOf("{\\rtf1\\uc0 \\u176 C}"),
              "\xB0"
              "C");
    EXPECT_EQ(textOf("{\\rtf1 {\\uc3\\u1000 ab}cd}"), "?cd");  // a group end stops the skip
    EXPECT_EQ(textOf("{\\rtf1 \\u-32768?\\u65535?\\u99999999999999999999?}"), "???");
    auto face = readRtf("{\\rtf1{\\fonttbl{\\f0 Caf\\u233\\'e9 Noir;}}x}");
    ASSERT_TRUE(face.ok());
    EXPECT_EQ(face->runs[0].format.face, "Caf\xE9 Noir");
    // Line ends in the RTF source are not text; a backslash before one is a paragraph.
    EXPECT_EQ(textOf("{\\rtf1 one\r\ntwo\\par\r\nthree\\\r\nfour}"), "onetwo\nthree\nfour");
}

// How LibreOffice Writer writes a short document.
TEST(RtfReader, LibreOfficeStyleDocument) {
    const std::string rtf =
        "{\\rtf1\\ansi\\deff3\\adeflang1025\r\n"
        "{\\fonttbl{\\f0\\froman\\fprq2\\fcharset0 Times New "
        "Roman;}{\\f1\\froman\\fprq2\\fcharset2 "
        "Symbol;}{\\f2\\fswiss\\fprq2\\fcharset0 Arial;}{\\f3\\froman\\fprq2\\fcharset0 Liberation "
        "Serif{\\*\\falt Times New Roman};}{\\f4\\fmodern\\fprq1\\fcharset0 Courier New;}}\r\n"
        "{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red255\\green0\\blue0;}\r\n"
        "{\\stylesheet{\\s0\\snext0\\dbch\\af5\\langfe2052\\dbch\\af6\\afs24\\alang1081\\loch\\f3"
        "\\hich\\af3\\fs24\\lang1031 Normal;}\r\n"
        "{\\s15\\sbasedon0\\snext16\\sb240\\sa120\\keepn\\f2\\fs28 Heading;}}\r\n"
        "{\\*\\generator LibreOffice/7.4.7.2$Linux_X86_64 LibreOffice_project/40$Build-2}"
        "{\\info{\\title Sturmwarnung}{\\author Wetterdienst}{\\creatim\\yr2024\\mo3\\dy5\\hr12"
        "\\min30}{\\revtim\\yr2024\\mo3\\dy5\\hr12\\min31}{\\printim\\yr0\\mo0\\dy0\\hr0\\min0}}"
        "{\\*\\userprops{\\propname Secret}\\proptype30{\\staticval hidden}}"
        "\\deftab709\r\n"
        "\\hyphauto1\\viewscale100\r\n"
        "{\\*\\pgdsctbl\r\n"
        "{\\pgdsc0\\pgdscuse451\\pgwsxn11906\\pghsxn16838\\marglsxn1134\\margrsxn1134"
        "\\margtsxn1134\\margbsxn1134\\pgdscnxt0 Default Page Style;}}\r\n"
        "\\formshade\\paperh16838\\paperw11906\\margl1134\\margr1134\\margt1134\\margb1134"
        "\\sectd\\sbknone\\pgndec\\sftnnar\\saftnnrlc\\sectunlocked1\\pgwsxn11906\\pghsxn16838"
        "\\marglsxn1134\\margrsxn1134\\margtsxn1134\\margbsxn1134\\ftnbj\\ftnstart1\\ftnrstcont"
        "\\ftnnar\\aenddoc\\aftnrstcont\\aftnstart1\\aftnnrlc\r\n"
        "{\\*\\ftnsep\\chftnsep}\\pgndec\\pard\\plain \\s0\\hich\\af3\\dbch\\af5\\rtlch\\af6"
        "\\afs24\\alang1081\\loch\\f3\\hich\\af3\\fs24\\lang1031{\\cf3\\b\\rtlch \\ltrch\\loch"
        "\\fs28\\f4 Sturmwarnung f\\u252\\'fcr die Deutsche Bucht}\r\n"
        "\\par \\pard\\plain \\s0\\loch\\f3\\fs24{\\rtlch \\ltrch\\loch Wind 8 Bft, "
        "Temperatur 4\\u176\\'b0C.}\r\n"
        "\\par {\\field{\\*\\fldinst HYPERLINK \"http://x/\" }{\\fldrslt {link}}}"
        "{\\header\\pard\\plain header text\\par}{\\footer\\pard\\plain footer text\\par}"
        "{\\*\\bkmkstart mark}{\\*\\bkmkend mark}\r\n"
        "\\par }";
    auto doc = readRtf(rtf);
    ASSERT_TRUE(doc.ok()) << doc.error().message;
    EXPECT_EQ(doc->plainText(),
              "Sturmwarnung f\xFCr die Deutsche Bucht\nWind 8 Bft, Temperatur 4\xB0"
              "C.\nlink\n");
    ASSERT_FALSE(doc->runs.empty());
    EXPECT_EQ(doc->runs[0].format, format("Courier New", 28, 0xFF0000, true));
    EXPECT_EQ(doc->runs.back().format.face, "Liberation Serif");
}

// How Word and WordPad write: a font table without entry groups, \uc1 with
// \'hh fallbacks, a theme blob, a picture with binary data holding braces.
TEST(RtfReader, WordStyleDocument) {
    std::string rtf =
        "{\\rtf1\\adeflang1025\\ansi\\ansicpg1252\\uc1\\adeff0\\deff0\\stshfdbch0\r\n"
        "{\\fonttbl\\f0\\fnil\\fcharset0 Calibri;\\f1\\fnil Consolas;}\r\n"
        "{\\colortbl ;\\red31\\green73\\blue125;}\r\n"
        "{\\*\\themedata 504b030414000600080000002100e9de0fbfff0000001c020000130000}\r\n"
        "{\\*\\latentstyles\\lsdstimax376\\lsdlockeddef0{\\lsdlockedexcept \\lsdqformat1 "
        "Normal;}}\r\n"
        "{\\*\\rsidtbl \\rsid1012\\rsid2345}{\\*\\mmathPr\\mmathFont34}\r\n"
        "\\viewkind4\\pard\\sa200\\sl276\\slmult1\\cf1\\f1\\fs22\\lang7 Gr\\'fc\\'dfe \\endash  "
        "\\ldblquote Test\\rdblquote\\par\r\n"
        "{\\pict\\wmetafile8\\picw100\\pich100 0100090000}"
        "{\\*\\shppict{\\pict\\pngblip\\bin6 ";
    rtf += std::string("{{}}}\\", 6);
    rtf += "}}after\\par\r\n}\r\n";
    auto doc = readRtf(rtf);
    ASSERT_TRUE(doc.ok()) << doc.error().message;
    EXPECT_EQ(doc->plainText(),
              "Gr\xFC\xDF"
              "e \x96 \x93Test\x94\nafter\n");
    EXPECT_EQ(doc->runs[0].format, format("Consolas", 22, 0x1F497D));
}

TEST(RtfReader, RejectsWhatIsNotRtf) {
    for (const std::string_view bad :
         {std::string_view(""), std::string_view("plain text"), std::string_view("{\\rt"),
          std::string_view("\\rtf1 no group"), std::string_view("{rtf1}")}) {
        EXPECT_FALSE(readRtf(bad).ok()) << bad;
    }
    EXPECT_TRUE(readRtf("\xEF\xBB\xBF\r\n {\\rtf1 x}").ok());
}

TEST(RtfReader, NestingLimit) {
    const auto nested = [](int depth) {
        return "{\\rtf1 " + std::string(static_cast<std::size_t>(depth - 1), '{') + "deep" +
               std::string(static_cast<std::size_t>(depth), '}');
    };
    EXPECT_EQ(textOf(nested(64)), "deep");
    auto tooDeep = readRtf(nested(65));
    ASSERT_FALSE(tooDeep.ok());
    EXPECT_FALSE(tooDeep.error().message.empty());
    EXPECT_FALSE(readRtf("{\\rtf1 " + std::string(100000, '{')).ok());
    EXPECT_FALSE(readRtf("{\\rtf1 " + std::string(100000, '{') + std::string(100000, '}')).ok());
}

// Damaged input never crashes or reads beyond its end; what can be read is
// returned.
TEST(RtfReader, MalformedInput) {
    EXPECT_EQ(textOf("{\\rtf1 abc\\pa"), "abc");    // cut in a control word
    EXPECT_EQ(textOf("{\\rtf1 abc\\"), "abc");      // cut after a backslash
    EXPECT_EQ(textOf("{\\rtf1 a\\'4"), "a");        // cut in an escape
    EXPECT_EQ(textOf("{\\rtf1 a\\'zzb}"), "azzb");  // no hex digits
    EXPECT_EQ(textOf("{\\rtf1 a\\'4g}"), "ag");
    EXPECT_EQ(textOf("{\\rtf1 open {\\b group"), "open group");  // missing braces
    EXPECT_EQ(textOf("{\\rtf1 x}} trailing {\\b y}"), "x");      // text after the end
    EXPECT_EQ(textOf("{\\rtf1 {"), "");
    EXPECT_EQ(textOf("{\\rtf1 a\\bin99999999999 }"), "a");  // binary data beyond the end
    EXPECT_EQ(textOf("{\\rtf1 a\\u"), "a");
    EXPECT_EQ(textOf("{\\rtf1 a\\u-"), "a-");

    auto huge = readRtf(
        "{\\rtf1\\fs99999999999999999999 a\\fs-5 b\\fs0 c\\cf99999999999 d"
        "\\f-2147483649 e\\uc99999999999}");
    ASSERT_TRUE(huge.ok());
    EXPECT_EQ(huge->plainText(), "abcde");
    EXPECT_EQ(huge->runs.back().format.halfPoints, 32767);
    EXPECT_EQ(huge->runs.back().format.colour, 0u);

    // The reader stops at the end of the view, not at the end of the buffer.
    const std::string buffer =
        "{\\rtf1 x\\'4"
        "1\\'41}";
    EXPECT_EQ(textOf(std::string_view(buffer).substr(0, 11)), "x");
    EXPECT_EQ(textOf(std::string_view(buffer).substr(0, 14)), "xA");

    // Unknown destinations and control words are skipped, text around them kept.
    EXPECT_EQ(textOf("{\\rtf1 a{\\*\\unknown {nested {deep}} text}b\\unknownword c}"), "abc");
    // Broken font and colour tables.
    EXPECT_EQ(
        textOf("{\\rtf1{\\fonttbl{\\f0 Arial}{\\f1;}\\f2 x{\\colortbl\\red300;;}}\\f7\\cf9 t}"),
        "t");
}

TEST(Rtf, CrLfForPlainText) {
    EXPECT_EQ(toCrLf("a\nb\r\nc\rd\n"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(toCrLf(""), "");
}

// When LibreOffice is installed, the written file must show the same text
// there. It is not needed for the build, so the test is skipped without it.
TEST(RtfWriter, LibreOfficeReadsTheWrittenText) {
    std::filesystem::path soffice;
    if (const char* path = std::getenv("PATH")) {
        std::istringstream dirs(path);
        for (std::string dir; std::getline(dirs, dir, ':');) {
            if (!dir.empty() && std::filesystem::exists(std::filesystem::path(dir) / "soffice")) {
                soffice = std::filesystem::path(dir) / "soffice";
                break;
            }
        }
    }
    if (soffice.empty()) GTEST_SKIP() << "soffice is not installed";

    test::TempDir dir;
    RtfDocument doc;
    doc.runs = {{format("Arial", 24, 0xFF0000, true), "Sturm {8} \\ Bft\n"},
                {RtfFormat{},
                 "Temperatur 4\xB0"
                 "C, M\xE4rz"}};
    test::writeFile(dir / "warn.rtf", writeRtf(doc));
    const std::string command = "cd '" + dir.path().string() + "' && '" + soffice.string() +
                                "' -env:UserInstallation=file://" + dir.path().string() +
                                "/profile --headless --convert-to 'txt:Text (encoded):UTF8' "
                                "--outdir out warn.rtf >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string text = test::readFile(dir / "out" / "warn.txt");
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    EXPECT_EQ(text,
              "Sturm {8} \\ Bft\nTemperatur 4\xC2\xB0"
              "C, M\xC3\xA4rz");
}

}  // namespace
}  // namespace zeb::weather
