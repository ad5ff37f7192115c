// Key code map, driver table registry and lookups, and the key matrix layout.
#include "encoding/key_code_map.h"
#include "encoding/key_matrix.h"
#include "unit/encoding/encoding_test_util.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kf::encoding;
using kftest::d20;

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return path;
}

}  // namespace

TEST(KeyCodeMap, LoadsDefineWithUpperCasedTasks) {
    ASSERT_TRUE(loadKeyCodeMap());
    EXPECT_EQ(keyCodeMapSize(), 118);
    EXPECT_EQ(hidCodeForTask("LEFT CTRL"), "E0");
    EXPECT_EQ(hidCodeForTask("CTRL"), "E0");  // "Ctrl" and "Left Ctrl" stay distinct keys
    EXPECT_EQ(hidCodeForTask("RIGHT CTRL"), "E4");
    EXPECT_EQ(hidCodeForTask("A"), "04");
    EXPECT_EQ(hidCodeForTask("NUM ENTER"), "58");
    EXPECT_EQ(hidCodeForTask("前进"), "10");
    EXPECT_EQ(hidCodeForTask("Left Ctrl"), "");  // lookups are exact; callers upper-case
    EXPECT_EQ(hidCodeForTask(""), "");
}

TEST(KeyCodeMap, LaterRowsWinAndFailedLoadsKeepTheMap) {
    QTemporaryDir dir;
    const QString path =
        writeFile(dir, "define",
                  "<keyboard><key task=\"x\" hidCode=\"01\"/><key task=\"X\" hidCode=\"02\"/>"
                  "<key task=\"Esc\" hidCode=\"29\"/><other task=\"Y\" hidCode=\"03\"/></keyboard>");
    ASSERT_TRUE(loadKeyCodeMapFrom(path));
    EXPECT_EQ(keyCodeMapSize(), 2);
    EXPECT_EQ(hidCodeForTask("X"), "02");
    EXPECT_EQ(hidCodeForTask("ESC"), "29");
    EXPECT_FALSE(loadKeyCodeMapFrom(dir.filePath("missing")));
    EXPECT_FALSE(loadKeyCodeMapFrom(writeFile(dir, "broken", "<keyboard><key task=")));
    EXPECT_EQ(hidCodeForTask("X"), "02");
    ASSERT_TRUE(loadKeyCodeMap());
    EXPECT_EQ(hidCodeForTask("X"), "1B");
}

TEST(DriverTableLookup, TasksMatchExactlyAndCaseSensitively) {
    const DriverTable& table = d20();
    ASSERT_TRUE(table.isLoaded());
    EXPECT_EQ(table.driverCode("ENTER"), "28");
    EXPECT_EQ(table.driverCode("SPACE"), "2C");
    EXPECT_EQ(table.driverCode("BACKSPACE"), "2A");
    EXPECT_EQ(table.driverCode("Enter"), "");
    EXPECT_EQ(table.driverCode("ESC"), "");  // the task is "Esc"
    EXPECT_EQ(table.driverCode("Esc"), "29");
    EXPECT_EQ(table.driverCode("LEFT CTRL"), "E0");
    EXPECT_EQ(table.driverCode("Ctrl"), "1");
    EXPECT_EQ(table.driverCode("Win"), "8");
    EXPECT_EQ(table.driverCode("打开自定义()"), "0x09,0x1,0x00,0x00");
    EXPECT_EQ(table.driverCode("打开宏定义()"), "");  // that is the Name, not the Task
    EXPECT_EQ(table.driverCode("ModeShift"), "");     // commented out in the file
    EXPECT_EQ(table.driverCode("gLeft"), "");         // nested rows are not table rows
    EXPECT_EQ(table.driverCode("mouseLeft"), "");     // a row without Code
    EXPECT_EQ(table.driverCode(""), "");
}

TEST(DriverTableLookup, QuotesAndOtherXPathSyntaxNeverEscapeTheLiteral) {
    const DriverTable& table = d20();
    EXPECT_EQ(table.driverCode("\""), "");
    EXPECT_EQ(table.driverCode("A\""), "");
    // Would match every row if the task were pasted into the query.
    EXPECT_EQ(table.driverCode("x\" or \"1\"=\"1"), "");
    EXPECT_EQ(table.driverCode(QString("A") + QChar(0) + "B"), "");
    EXPECT_EQ(table.driverCode("A']|//key[@Task='B"), "");
    EXPECT_EQ(table.driverCode("]"), "30");  // the bracket key
    EXPECT_EQ(table.driverCode("'"), "34");  // the apostrophe key: single quotes are fine inside "..."
    EXPECT_EQ(table.driverCode("\\"), "31");
}

TEST(DriverTableRegistry, RegistersByVersionAndReplaces) {
    QTemporaryDir dir;
    const QString v1 =
        writeFile(dir, "v1", "<Driver Version=\"T9\"><key Task=\"a\" Code=\"0x01\"/></Driver>");
    const QString v2 = writeFile(dir, "v2",
                                 "\xEF\xBB\xBF<Driver Version=\"T9\"><key Task=\"a\" Code=\"0x02\"/>"
                                 "<key Task=\"a\" Code=\"0x03\"/></Driver>");
    ASSERT_TRUE(registerDriverTable(v1));
    DriverTable table;
    ASSERT_TRUE(loadDriverTable(&table, "T9"));
    EXPECT_EQ(table.driverCode("a"), "0x01");
    ASSERT_TRUE(registerDriverTable(v2));
    ASSERT_TRUE(loadDriverTable(&table, "T9"));
    EXPECT_EQ(table.driverCode("a"), "0x02");  // the first match wins, the memo was dropped
    EXPECT_FALSE(registerDriverTable(writeFile(dir, "bad", "<Driver Version=\"T9\"><key")));
    EXPECT_FALSE(registerDriverTable(dir.filePath("missing")));
    ASSERT_TRUE(loadDriverTable(&table, "T9"));
    EXPECT_EQ(table.driverCode("a"), "0x02");
    EXPECT_FALSE(loadDriverTable(&table, "NoSuchVersion"));
    EXPECT_FALSE(table.isLoaded());
    EXPECT_EQ(table.driverCode("a"), "");
    EXPECT_FALSE(loadDriverTable(nullptr));

    ASSERT_TRUE(registerDriverTable(":/drive/D2.0"));
    EXPECT_TRUE(registeredDriverTable("D2.0").startsWith("<?xml"));
    ASSERT_TRUE(loadDriverTable(&table));
    EXPECT_EQ(table.driverCode("单击左键()"), "0x01,0x01,0x00,0x00");
    EXPECT_FALSE(table.parse(QString("<Driver>")));
    EXPECT_EQ(table.driverCode("单击左键()"), "");
}

TEST(KeyMatrix, LayoutPositionsAndLookups) {
    EXPECT_EQ(matrixIndex("ESC"), 0);
    EXPECT_EQ(matrixIndex("FN"), 115);
    EXPECT_EQ(matrixIndex("NUMPERIOD"), 124);
    EXPECT_EQ(matrixIndex("NUMMINUS"), 41);
    EXPECT_EQ(matrixIndex("NUMENTER"), 104);
    EXPECT_EQ(matrixIndex("SPACEBAR"), 110);
    EXPECT_EQ(matrixIndex(""), -1);  // blank slots have no name to look up
    EXPECT_EQ(matrixIndex("esc"), -1);
    EXPECT_EQ(matrixIndex("Esc"), -1);
    EXPECT_EQ(keyMatrixName(0), "ESC");
    EXPECT_EQ(keyMatrixName(125), "");
    EXPECT_EQ(keyMatrixName(126), "");
    EXPECT_EQ(keyMatrixName(-1), "");
    int named = 0;
    for (int i = 0; i < kKeyMatrixSize; ++i) {
        const QString name = keyMatrixName(i);
        if (name.isEmpty())
            continue;
        ++named;
        EXPECT_EQ(matrixIndex(name), i) << name.toStdString();  // no name appears twice
    }
    EXPECT_EQ(named, 104);  // the 104 keys less Right Windows, plus FN
}

TEST(KeyMatrix, NamesAreDefineValuesOrFn) {
    QSet<QString> values;
    const auto doc = kftest::driveDoc("Define");
    for (const pugi::xml_node key : doc->child("keyboard").children("key")) {
        values << kftest::attr(key, "value");
    }
    for (int i = 0; i < kKeyMatrixSize; ++i) {
        const QString name = keyMatrixName(i);
        if (!name.isEmpty() && name != "FN") {
            EXPECT_TRUE(values.contains(name)) << name.toStdString();
        }
    }
}
