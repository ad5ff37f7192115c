// The application object without starting it: argument scanning and conf.xml.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/application.h"

namespace {

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// The test main owns the only QApplication, so the conf.xml reader is exercised on an
// Application-shaped object through its public reader only.
TEST(ClientConfig, CopiesClientAttributesAndAddsNetworkIdentity) {
    QTemporaryDir dir;
    const QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<root><client name=\"Kestrafon\" version=\"2.0.0\" "
        "testToolSize=\"800,600\"/></root>\n";
    writeFile(dir.filePath("Resources/conf.xml"), xml);
    QMap<QString, QString> info;
    QString text;
    ASSERT_TRUE(Application::readClientConfigInto(dir.path() + "/", &info, &text));
    EXPECT_EQ(info.value("name"), "Kestrafon");
    EXPECT_EQ(info.value("version"), "2.0.0");
    EXPECT_EQ(info.value("testToolSize"), "800,600");
    EXPECT_TRUE(info.contains("MacAddress"));
    EXPECT_TRUE(info.contains("IpAddress"));
    EXPECT_NE(info.value("IpAddress"), "127.0.0.1");
    EXPECT_EQ(text, QString::fromUtf8(xml));
}

TEST(ClientConfig, MalformedOrMissingFileLeavesEverythingAsItWas) {
    QTemporaryDir dir;
    QMap<QString, QString> info{{"kept", "yes"}};
    QString text = "old";
    EXPECT_FALSE(Application::readClientConfigInto(dir.path() + "/", &info, &text));
    writeFile(dir.filePath("Resources/conf.xml"), "<root><client a=\"1\"></root");
    EXPECT_FALSE(Application::readClientConfigInto(dir.path() + "/", &info, &text));
    EXPECT_EQ(info.value("kept"), "yes");
    EXPECT_EQ(info.size(), 1);
    EXPECT_EQ(text, "old");
}

}  // namespace
