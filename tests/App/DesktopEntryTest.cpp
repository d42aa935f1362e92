// The desktop entry: valid for desktops, and every action it offers is a command torvel understands.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <map>

#include "App/CommandLine.h"

namespace torvel {
namespace {

constexpr const char* kEntry = TORVEL_TEST_SOURCE_DIR "/../resources/desktop/com.torvel.Torvel.desktop";

/// The groups of the entry, each a map of key to raw value.
std::map<QString, std::map<QString, QString>> readEntry() {
    std::map<QString, std::map<QString, QString>> groups;
    QFile file(kEntry);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QString group;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith('[')) {
            group = line.mid(1, line.size() - 2);
        } else if (const auto equals = line.indexOf('='); equals > 0) {
            groups[group][line.left(equals)] = line.mid(equals + 1);
        }
    }
    return groups;
}

TEST(DesktopEntryTest, ValidatesAndItsActionsAreTorvelCommands) {
    QProcess validate;
    validate.start("desktop-file-validate", {kEntry});
    if (!validate.waitForStarted(5000)) GTEST_SKIP() << "desktop-file-validate is not installed";
    ASSERT_TRUE(validate.waitForFinished(10000));
    const QString said =
        QString::fromUtf8(validate.readAllStandardOutput() + validate.readAllStandardError());
    EXPECT_EQ(validate.exitCode(), 0) << said.toStdString();
    EXPECT_FALSE(said.contains("warning", Qt::CaseInsensitive)) << said.toStdString();

    auto groups = readEntry();
    const QStringList actions = groups["Desktop Entry"]["Actions"].split(';', Qt::SkipEmptyParts);
    const std::map<QString, CommandLine::Action> expected = {{"KeepAwakeHour", CommandLine::Action::openURL},
                                                             {"TurnOff", CommandLine::Action::deactivate},
                                                             {"Settings", CommandLine::Action::showSettings}};
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size())) << actions.join(';').toStdString();
    for (const QString& action : actions) {
        auto& group = groups["Desktop Action " + action];
        EXPECT_FALSE(group["Name"].isEmpty()) << action.toStdString();
        EXPECT_FALSE(group["Name[cs]"].isEmpty()) << action.toStdString();
        QStringList exec = group["Exec"].split(' ', Qt::SkipEmptyParts);
        ASSERT_FALSE(exec.isEmpty()) << action.toStdString();
        EXPECT_EQ(exec.takeFirst(), "torvel");
        std::vector<std::string> args;
        // A quoted argument as the launcher reads it (the entry has no spaces or escapes inside quotes).
        for (const auto& arg : exec) args.push_back(QString(arg).remove('"').toStdString());
        const auto line = CommandLine::parse(args);
        ASSERT_TRUE(expected.count(action)) << action.toStdString();
        EXPECT_EQ(line.action, expected.at(action)) << action.toStdString() << ": " << line.text;
        if (action == "KeepAwakeHour") {
            // A link, so that the action also starts Torvel when it is not running.
            EXPECT_EQ(line.text, "torvel://activate?duration=3600");
        }
    }
}

}  // namespace
}  // namespace torvel
