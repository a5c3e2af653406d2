// The received-text window: the view mirrors the model through appends, the
// fill limit and saves; the save and print commands; the font record.
#include "ui/TextWindow.h"

#include <QFontDatabase>
#include <QPrinter>
#include <QTextCursor>

#include <gtest/gtest.h>

#include "common/Codepage.h"
#include "common/LittleEndian.h"
#include "support/TestEnv.h"
#include "weather/Rtf.h"

namespace zeb::ui {
namespace {

using weather::TextModel;

class TextWindowTest : public ::testing::Test {
protected:
    test::TempDir dir;
    ReceivedTextWindow w{dir / "SYNOP", TextModel::TrimPolicy::MoveMark};

    bool mirrors() const {
        return w.toPlainText().toStdString() == cp1252ToUtf8(w.model().contents());
    }
    void select(int from, int to) {
        QTextCursor c(w.document());
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        w.setTextCursor(c);
    }
    int size() const { return static_cast<int>(w.model().contents().size()); }
};

TEST_F(TextWindowTest, MirrorsReceivedAndReportText) {
    for (const char* part : {"ZCZC\r\n", "12\xB0", "C\rWIND\n", "\x80\r", "\nEND"}) {
        w.appendReceived(part);
    }
    w.appendText("Fog.\r\n");
    w.appendReceived("X");
    EXPECT_TRUE(mirrors());
    EXPECT_EQ(w.toPlainText().toStdString(),
              "ZCZC\n12\xC2\xB0"
              "C\nWIND\n\xE2\x82\xAC\nENDFog.\nX");

    // Report text in dark blue, received text not.
    QTextCursor at(w.document());
    at.setPosition(size() - 3);
    EXPECT_EQ(at.charFormat().foreground().color(), QColor(0, 0, 0x80));
    at.setPosition(2);
    EXPECT_NE(at.charFormat().foreground().color(), QColor(0, 0, 0x80));
}

TEST_F(TextWindowTest, FillLimitDeletesTheSameFrontFromViewAndModel) {
    auto line = [](int n) { return ("L" + std::to_string(n) + " ").append(96, 'x') + "\n"; };
    w.appendReceived("before\n");
    select(2, 4);  // inside the lines that go first
    int next = 0;
    while (next < 5600) {
        std::string chunk;
        for (int i = 0; i < 50; ++i) chunk += line(next++);
        w.appendText(chunk);
    }
    for (char c : line(next)) w.appendReceived(std::string_view(&c, 1));
    EXPECT_GT(w.model().trimmedCount(), 0u);
    EXPECT_TRUE(mirrors());
    EXPECT_LE(w.document()->characterCount(), static_cast<int>(weather::kTextLimit));
    EXPECT_EQ(w.model().contents()[0], 'L');  // whole lines went
    EXPECT_FALSE(w.textCursor().hasSelection());

    // One text larger than the limit replaces everything shown.
    std::string big;
    for (int i = 0; big.size() < weather::kTextLimit + 5000; ++i) big += std::to_string(i) + "\n";
    w.appendText(big);
    EXPECT_TRUE(mirrors());
}

TEST_F(TextWindowTest, SelectionSurvivesAppendsAndTrimming) {
    w.appendReceived("first\nsecond\n");
    select(6, 12);
    w.appendReceived("third");
    w.appendText("report\n");
    EXPECT_EQ(w.textCursor().selectedText(), "second");
    select(size() - 3, size());  // reaching the end: does not grow with new text
    w.appendReceived("more");
    EXPECT_EQ(w.textCursor().selectedText(), QString("rt") + QChar::ParagraphSeparator);

    std::string filler;
    while (filler.size() < weather::kTrimThreshold - 1000) filler += std::string(79, 'f') + "\n";
    w.appendText(filler + "KEEP\n");
    select(size() - 5, size() - 1);
    w.appendText(std::string(3000, 'g') + "\n");
    EXPECT_GT(w.model().trimmedCount(), 0u);
    EXPECT_EQ(w.textCursor().selectedText(), "KEEP");
}

TEST_F(TextWindowTest, CollectedTextIsSavedFromTheMark) {
    ReceivedTextWindow saving(dir / "SYNOP", TextModel::TrimPolicy::SaveAndRestart);
    saving.model().setClock([] { return TimeKey{1'700'000'000}; });
    saving.appendReceived("noise\nWOXX50 ABCD 011200\n");
    saving.markStart(weather::Collected::Warning);
    saving.appendReceived("GALE\nNNNN\nZCZC");
    saving.saveCollected(weather::Collected::Warning, true);
    ASSERT_EQ(saving.model().saved().size(), 1u) << saving.model().lastError();
    const auto file = saving.model().saved().front();
    EXPECT_EQ(file.parent_path(), dir / "SYNOP");
    EXPECT_EQ(file.filename().string().rfind("WARN_", 0), 0u);
    auto doc = weather::readRtf(test::readFile(file));
    ASSERT_TRUE(doc.ok());
    EXPECT_EQ(doc->plainText(), "GALE\nNNNN\n");
}

TEST_F(TextWindowTest, SavesRtfOrPlainTextWholeOrSelected) {
    w.appendReceived("ZCZC 12\xB0\r\n");
    w.appendText("Description\n");
    w.appendReceived("NNNN");
    std::filesystem::create_directories(dir / "lower");
    ASSERT_TRUE(w.saveTo(dir / "lower" / "saved.rtf").ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "lower" / "saved.rtf"));
    auto doc = weather::readRtf(test::readFile(dir / "lower" / "SAVED.RTF"));
    ASSERT_TRUE(doc.ok());
    EXPECT_EQ(doc->plainText(), w.model().contents());
    ASSERT_GE(doc->runs.size(), 2u);
    EXPECT_EQ(doc->runs[0].format.face, utf8ToCp1252(w.textFont().family().toStdString()));
    EXPECT_EQ(doc->runs[0].format.halfPoints, 15);
    EXPECT_EQ(doc->runs[1].format.colour, 0x000080u);

    ASSERT_TRUE(w.saveTo(dir / "out.txt").ok());
    EXPECT_EQ(test::readFile(dir / "OUT.TXT"), "ZCZC 12\xB0\r\nDescription\r\nNNNN");

    select(5, 19);
    ASSERT_TRUE(w.saveTo(dir / "part.txt").ok());
    EXPECT_EQ(test::readFile(dir / "PART.TXT"), "12\xB0\r\nDescriptio");
    ASSERT_TRUE(w.saveTo(dir / "part.rtf").ok());
    EXPECT_EQ(weather::readRtf(test::readFile(dir / "PART.RTF"))->plainText(),
              "12\xB0\nDescriptio");

    auto missing = w.saveTo(dir / "no" / "x.txt");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("X.TXT"), std::string::npos);
    test::writeFile(dir / "plain", "x");
    EXPECT_FALSE(w.saveTo(dir / "plain" / "x.txt").ok());
    EXPECT_EQ(test::readFile(dir / "plain"), "x");
    EXPECT_FALSE(w.saveTo(dir.path() / "").ok());
}

TEST_F(TextWindowTest, PrintsToPdf) {
    w.appendReceived("ZCZC\nTEXT\n");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString((dir / "out.pdf").string()));
    w.printTo(printer);
    EXPECT_EQ(test::readFile(dir / "out.pdf").rfind("%PDF", 0), 0u);
}

FontRecordBytes record(std::int32_t twips, std::string_view face, std::uint32_t effects = 0) {
    FontRecordBytes r{};
    le::Writer out(r);
    out.u32(0, 60);
    out.u32(8, effects);
    out.i32(12, twips);
    out.u8(25, 0x21);  // fixed pitch
    out.bytes(26, face.data(), face.size());
    return r;
}

TEST(FontRecord, RoundTripKeepsFaceSizeEffectsAndOtherFields) {
    QFont f("DejaVu Serif");
    f.setPointSizeF(11.5);
    f.setBold(true);
    f.setItalic(true);
    FontRecordBytes base = record(150, "");
    base[20] = 0x12;  // a colour
    const FontRecordBytes r = recordFromFont(f, base);
    EXPECT_EQ(le::get32(&r[8]), 3u);
    EXPECT_EQ(le::get32(&r[12]), 230u);
    EXPECT_EQ(r[20], 0x12);
    const QFont back = fontFromRecord(r);
    EXPECT_EQ(back.family(), "DejaVu Serif");
    EXPECT_DOUBLE_EQ(back.pointSizeF(), 11.5);
    EXPECT_TRUE(back.bold() && back.italic() && !back.underline());
    const QFont marked = fontFromRecord(record(200, "Courier", 4 | 8));
    EXPECT_TRUE(marked.underline() && marked.strikeOut() && !marked.bold());

    // Windows-1252 face, at most 31 bytes and a terminating NUL.
    const QString longFace = QString::fromUtf8("Caf\xC3\xA9 ") + QString(40, 'W');
    const FontRecordBytes l = recordFromFont(QFont(longFace), base);
    EXPECT_EQ(l[29], 0xE9);
    EXPECT_EQ(l[57], 0);
    EXPECT_EQ(fontFromRecord(l).family(), longFace.left(31));
}

TEST(FontRecord, EmptyFaceAndDamagedHeightsFallBack) {
    const QFont def = fontFromRecord(record(150, ""));
    EXPECT_EQ(def.family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    EXPECT_DOUBLE_EQ(def.pointSizeF(), 7.5);
    for (std::int32_t twips : {0, -200, 100000}) {
        EXPECT_DOUBLE_EQ(fontFromRecord(record(twips, "Courier")).pointSizeF(), 7.5) << twips;
    }
    FontRecordBytes unterminated = record(200, std::string(32, 'A'));
    EXPECT_EQ(fontFromRecord(unterminated).family(), QString(31, 'A'));
}

TEST_F(TextWindowTest, FontAppliesToOldAndNewText) {
    w.appendReceived("old\n");
    QFont f("DejaVu Serif");
    f.setPointSizeF(14);
    w.applyFont(f);
    w.appendText("new");
    for (int pos : {1, 5}) {
        QTextCursor c(w.document());
        c.setPosition(pos);
        EXPECT_EQ(c.charFormat().font().family(), "DejaVu Serif") << pos;
        EXPECT_DOUBLE_EQ(c.charFormat().font().pointSizeF(), 14.0) << pos;
    }
}

}  // namespace
}  // namespace zeb::ui
