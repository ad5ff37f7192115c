// The five pointer-setting commands: the exact system arguments for every Num in and around
// each range, the answers, and requests without a usable "Num".
#include <QVariantMap>

#include <ostream>

#include <gtest/gtest.h>

#include "platform/pointer/recording_pointer_system.h"
#include "system/pointer_settings.h"
#include "window/pointer_commands.h"

inline void PrintTo(const CommandAnswer& answer, std::ostream* out) {
    static const char* const kinds[] = {"None", "Success", "Failure"};
    *out << kinds[answer.kind] << "(\"" << answer.text.toStdString() << "\")";
}

namespace kf::platform {
inline void PrintTo(const PointerCall& call, std::ostream* out) {
    *out << call.toString().toStdString();
}
}  // namespace kf::platform

namespace {

using kf::platform::PointerCall;
using kf::platform::RecordingPointerSystem;

QVariantMap num(const QVariant& value) {
    return QVariantMap{{QStringLiteral("Num"), value}};
}

class PointerCommandAnswers : public ::testing::Test {
protected:
    RecordingPointerSystem system_;
    PointerSettings pointer_{system_};
    PointerCommands settings_{pointer_};

    // Runs one command and returns the single system call it made (operation Acceleration with
    // no arguments when it made none).
    PointerCall callFor(CommandAnswer (PointerCommands::*command)(const QVariantMap&), int n,
                        CommandAnswer* answer = nullptr) {
        system_.clear();
        const CommandAnswer result = (settings_.*command)(num(n));
        if (answer != nullptr) {
            *answer = result;
        }
        EXPECT_LE(system_.calls().size(), 1);
        return system_.calls().isEmpty() ? PointerCall{} : system_.calls().front();
    }
};

TEST_F(PointerCommandAnswers, AccelerationTakesItsTableRowAndNothingOutsideIt) {
    const QVector<QVector<qint64>> rows{{0, 0, 0}, {7, 0, 1}, {4, 6, 2}, {4, 0, 1}};
    for (int n = -3; n <= 6; ++n) {
        CommandAnswer answer;
        const PointerCall call = callFor(&PointerCommands::modifyMouseAcce, n, &answer);
        if (n >= 0 && n <= 3) {
            EXPECT_EQ(call, (PointerCall{PointerCall::Acceleration, rows[n]})) << n;
            EXPECT_EQ(answer, CommandAnswer::success("modifyMouseAccel success")) << n;
        } else {
            EXPECT_TRUE(system_.calls().isEmpty()) << n;
            EXPECT_EQ(answer, CommandAnswer::failure("modifyMouseAccel failed")) << n;
        }
    }
}

TEST_F(PointerCommandAnswers, SpeedPassesNumAsTheSpeedAndTheTableOnlyInsideItsRange) {
    for (int n = -2; n <= 25; ++n) {
        const PointerCall call = callFor(&PointerCommands::modifyWindowAcceleratedSpeed, n);
        const qint64 table = n >= 0 && n <= 9 ? 6 + n : 0;
        EXPECT_EQ(call, (PointerCall{PointerCall::Speed, {table, n}})) << n;
    }
    EXPECT_EQ(callFor(&PointerCommands::modifyWindowAcceleratedSpeed, 1000000),
              (PointerCall{PointerCall::Speed, {0, 1000000}}));
}

TEST_F(PointerCommandAnswers, WheelLinesAndCharactersPassNumUnchangedWithoutBounds) {
    for (int n : {-1, 0, 1, 3, 100, 2147483647}) {
        EXPECT_EQ(callFor(&PointerCommands::modifyMouseScrollLines, n),
                  (PointerCall{PointerCall::WheelScrollLines, {static_cast<quint32>(n), n}}))
            << n;
        EXPECT_EQ(callFor(&PointerCommands::modifyMouseScrollLinesX, n),
                  (PointerCall{PointerCall::WheelScrollChars, {static_cast<quint32>(n), n}}))
            << n;
    }
    // -1 reaches the system as the all-ones value, which means a page per notch.
    EXPECT_EQ(callFor(&PointerCommands::modifyMouseScrollLines, -1).arguments.front(), 0xFFFFFFFFll);
}

TEST_F(PointerCommandAnswers, DoubleClickTimeComesFromItsTableAndNothingOutsideIt) {
    const QVector<qint64> times{970, 900, 830, 760, 690, 620, 550, 480, 410, 340, 270, 200};
    for (int n = -2; n <= 14; ++n) {
        CommandAnswer answer;
        const PointerCall call = callFor(&PointerCommands::modifyMouseDoubleClick, n, &answer);
        if (n >= 0 && n <= 11) {
            EXPECT_EQ(call, (PointerCall{PointerCall::DoubleClickTime, {times[n]}})) << n;
            EXPECT_EQ(answer, CommandAnswer::success("modifyMouseDoubleClick success"));
        } else {
            EXPECT_TRUE(system_.calls().isEmpty()) << n;
            EXPECT_EQ(answer, CommandAnswer::failure("modifyMouseDoubleClick failed"));
        }
    }
}

TEST_F(PointerCommandAnswers, AnswersFollowTheSystemsResult) {
    using Command = CommandAnswer (PointerCommands::*)(const QVariantMap&);
    const QVector<std::pair<Command, QString>> commands{
        {&PointerCommands::modifyMouseAcce, "modifyMouseAccel"},
        {&PointerCommands::modifyWindowAcceleratedSpeed, "ModifyWindowAcceleratedSpeed"},
        {&PointerCommands::modifyMouseScrollLines, "ModifyMouseScrollLines"},
        {&PointerCommands::modifyMouseScrollLinesX, "modifyMouseScrollLinesX"},
        {&PointerCommands::modifyMouseDoubleClick, "modifyMouseDoubleClick"},
    };
    for (const auto& command : commands) {
        system_.setResult(true);
        EXPECT_EQ((settings_.*command.first)(num(1)), CommandAnswer::success(command.second + " success"));
        system_.setResult(false);
        EXPECT_EQ((settings_.*command.first)(num(1)), CommandAnswer::failure(command.second + " failed"));
    }
}

TEST_F(PointerCommandAnswers, WithoutNumNothingHappensAndNothingIsAnswered) {
    const QVariantMap other{{QStringLiteral("num"), 3}, {QStringLiteral("Value"), 3}};
    EXPECT_EQ(settings_.modifyMouseAcce(other), CommandAnswer::none());
    EXPECT_EQ(settings_.modifyWindowAcceleratedSpeed(other), CommandAnswer::none());
    EXPECT_EQ(settings_.modifyMouseScrollLines(other), CommandAnswer::none());
    EXPECT_EQ(settings_.modifyMouseScrollLinesX(other), CommandAnswer::none());
    EXPECT_EQ(settings_.modifyMouseDoubleClick(QVariantMap{}), CommandAnswer::none());
    EXPECT_EQ(PointerCommands::getWindowsMouseConfig(), CommandAnswer::none());
    EXPECT_TRUE(system_.calls().isEmpty());
}

TEST_F(PointerCommandAnswers, NumIsReadAsAnIntegerFromNumbersOrText) {
    settings_.modifyMouseDoubleClick(num(QStringLiteral("11")));
    settings_.modifyMouseDoubleClick(num(3.0));
    settings_.modifyMouseDoubleClick(num(QStringLiteral(" 2 ")));
    settings_.modifyMouseDoubleClick(num(qlonglong(1)));
    EXPECT_EQ(system_.calls(), (QVector<PointerCall>{{PointerCall::DoubleClickTime, {200}},
                                                     {PointerCall::DoubleClickTime, {760}},
                                                     {PointerCall::DoubleClickTime, {830}},
                                                     {PointerCall::DoubleClickTime, {900}}}));
}

TEST_F(PointerCommandAnswers, ANumThatIsNoIntegerFailsWithoutASystemCall) {
    for (const QVariant& value :
         {QVariant(QStringLiteral("abc")), QVariant(2.5), QVariant(true), QVariant(QString()), QVariant(1e12),
          QVariant(QStringLiteral("3x")), QVariant(QVariantList{1})}) {
        EXPECT_EQ(settings_.modifyMouseScrollLines(num(value)),
                  CommandAnswer::failure("ModifyMouseScrollLines failed"))
            << value.toString().toStdString();
        EXPECT_EQ(settings_.modifyMouseAcce(num(value)), CommandAnswer::failure("modifyMouseAccel failed"));
    }
    EXPECT_TRUE(system_.calls().isEmpty());
}

}  // namespace
