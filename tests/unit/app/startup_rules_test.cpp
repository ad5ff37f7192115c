// Rules of start-up that need no running client: switches, the locale, logging, the quit
// routine, the cache removal and the client identity read from conf.xml.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "app/command_line.h"
#include "app/logging.h"
#include "app/process.h"
#include "cefclient/client_app.h"

namespace {

TEST(CommandLine, SwitchesTakeOneOrTwoDashesAndOptionalValues) {
    const kf::CommandLine line({"kestrafon", "--url=kestrafon://x/local/a.html",
                                "-mouse-cursor-change-disabled", "--log-severity", "plain", "--urlish=1"});
    EXPECT_TRUE(line.hasSwitch("url"));
    EXPECT_EQ(line.switchValue("url"), "kestrafon://x/local/a.html");
    EXPECT_TRUE(line.hasSwitch("mouse-cursor-change-disabled"));
    EXPECT_EQ(line.switchValue("mouse-cursor-change-disabled"), "");
    EXPECT_TRUE(line.hasSwitch("log-severity"));
    EXPECT_FALSE(line.hasSwitch("plain"));  // not a switch
    EXPECT_FALSE(line.hasSwitch("ur"));     // prefixes do not match
    EXPECT_TRUE(line.hasSwitch("urlish"));
    // The program name is never a switch.
    EXPECT_FALSE(kf::CommandLine({"--url=x"}).hasSwitch("url"));
}

QProcessEnvironment envWith(std::initializer_list<std::pair<const char*, const char*>> values) {
    QProcessEnvironment env;
    for (const auto& v : values)
        env.insert(v.first, v.second);
    return env;
}

TEST(Locale, EnglishOfAnyRegionIsEnAndEverythingElseZh) {
    EXPECT_EQ(ClientApp::localeFromEnvironment(envWith({{"LANG", "en_GB.UTF-8"}})), "en");
    EXPECT_EQ(ClientApp::localeFromEnvironment(envWith({{"LANG", "en_US"}})), "en");
    EXPECT_EQ(ClientApp::localeFromEnvironment(envWith({{"LANG", "en"}})), "en");
    EXPECT_EQ(ClientApp::localeFromEnvironment(envWith({{"LANG", "zh_CN.UTF-8"}})), "zh");
    EXPECT_EQ(ClientApp::localeFromEnvironment(envWith({{"LANG", "de_DE.UTF-8"}})), "zh");
    EXPECT_EQ(ClientApp::localeFromEnvironment(envWith({{"LANG", "eng_XX"}})), "zh");  // not English
    EXPECT_EQ(ClientApp::localeFromEnvironment(QProcessEnvironment()), "zh");
    // The UI language wins over the general locale, as the desktop does it.
    EXPECT_EQ(ClientApp::localeFromEnvironment(envWith({{"LANGUAGE", "en_AU:de"}, {"LANG", "de_DE"}})), "en");
    EXPECT_EQ(ClientApp::localeFromEnvironment(envWith({{"LC_ALL", "fr_FR"}, {"LANG", "en_US"}})), "zh");
}

TEST(EngineSettings, DefaultsAreTheClientsIdentity) {
    const EngineSettings s = ClientApp::defaultSettings(envWith({{"LANG", "en_GB"}}));
    EXPECT_EQ(s.userAgent, "KestrafonClient");
    EXPECT_EQ(s.productVersion, "2.0");
    EXPECT_EQ(s.locale, "en");
    EXPECT_EQ(s.logFile, "kestrafon.log");
    EXPECT_EQ(s.background.rgba(), 0xFF222529u);
    EXPECT_EQ(s.cachePath, QDir::toNativeSeparators(QDir::tempPath() + "/Kestrafon"));
    EXPECT_TRUE(s.persistentSessionCookies);
    // Page storage outlives the cache: the user's data folder, or its default when unset or relative.
    EXPECT_EQ(s.storagePath, QDir::homePath() + "/.local/share/kestrafon/storage");
    EXPECT_EQ(ClientApp::defaultSettings(envWith({{"XDG_DATA_HOME", "/d"}})).storagePath,
              "/d/kestrafon/storage");
    EXPECT_EQ(ClientApp::defaultSettings(envWith({{"XDG_DATA_HOME", "rel"}})).storagePath,
              QDir::homePath() + "/.local/share/kestrafon/storage");
}

TEST(Logging, LevelsParseLikeTheEngineSwitch) {
    using kf::logging::Level;
    using kf::logging::parseLevel;
    EXPECT_EQ(parseLevel("verbose", Level::Info), Level::Verbose);
    EXPECT_EQ(parseLevel("INFO", Level::Error), Level::Info);
    EXPECT_EQ(parseLevel("warning", Level::Info), Level::Warning);
    EXPECT_EQ(parseLevel("error", Level::Info), Level::Error);
    EXPECT_EQ(parseLevel("disable", Level::Info), Level::Disable);
    EXPECT_EQ(parseLevel("2", Level::Info), Level::Error);
    EXPECT_EQ(parseLevel("-1", Level::Info), Level::Verbose);
    EXPECT_EQ(parseLevel("", Level::Info), Level::Info);
    EXPECT_EQ(parseLevel("loud", Level::Warning), Level::Warning);
}

TEST(Logging, FileGetsLinesAtOrAboveTheMinimumWithSourceAndSeverity) {
    QTemporaryDir dir;
    const QString path = dir.filePath("kestrafon.log");
    ASSERT_TRUE(kf::logging::install(path, kf::logging::Level::Info));
    qDebug("debug line");
    qInfo("info line %d", 1);
    qWarning("warning line");
    qCritical("critical line");
    kf::logging::install(path, kf::logging::Level::Error);
    qWarning("late warning");
    qCritical("late critical");
    kf::logging::uninstall();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].contains(
        QRegularExpression(R"(^\[\d{4}/\d{6}\.\d{3}:INFO:startup_rules_test\.cpp\(\d+\)\] info line 1$)")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(":WARNING:") && lines[1].endsWith("] warning line"));
    EXPECT_TRUE(lines[2].contains(":ERROR:") && lines[2].endsWith("] critical line"));
    EXPECT_TRUE(lines[3].endsWith("] late critical"));
}

TEST(Logging, DefaultPathIsInTheLogFolderAndNeverTheSharedTemporaryFolder) {
    QTemporaryDir dir;
    EXPECT_EQ(kf::logging::defaultLogPath(dir.path()), dir.filePath("kestrafon.log"));
    EXPECT_EQ(kf::logging::defaultLogPath(QString()), QString());
}

TEST(Process, RemoveFolderRecursivelyRemovesEverythingAndMissingIsDone) {
    QTemporaryDir dir;
    const QString root = dir.filePath("Kestrafon");
    ASSERT_TRUE(QDir().mkpath(root + "/Cache/deep/er"));
    for (const QString& f :
         {root + "/a.txt", root + "/Cache/b", root + "/Cache/deep/er/c", root + "/.hidden"}) {
        QFile file(f);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    ASSERT_TRUE(QFile::link(root + "/a.txt", root + "/Cache/link"));
    EXPECT_TRUE(kf::removeFolderRecursively(root));
    EXPECT_FALSE(QDir(root).exists());
    EXPECT_TRUE(kf::removeFolderRecursively(root));  // already gone counts as done

    // In a shared folder only a folder of the user's own goes; a link to one is left, and so is
    // what it points to.
    ASSERT_TRUE(QDir().mkpath(dir.filePath("elsewhere")));
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), root));
    EXPECT_FALSE(kf::removeOwnFolderRecursively(root));
    EXPECT_TRUE(QFileInfo(root).isSymLink());
    EXPECT_TRUE(QDir(dir.filePath("elsewhere")).exists());
    ASSERT_TRUE(QFile::remove(root) && QDir().mkpath(root + "/Cache"));
    EXPECT_TRUE(kf::removeOwnFolderRecursively(root));
    EXPECT_FALSE(QFileInfo::exists(root));
}

TEST(Process, QuitRoutineRunsOnceAndSticks) {
    EXPECT_FALSE(kf::quitRequested());
    kf::quitApplication();
    EXPECT_TRUE(kf::quitRequested());
    kf::quitApplication();  // harmless
    EXPECT_TRUE(kf::quitRequested());
}

}  // namespace
