// Random assignments of every kind, including hostile ones: the encoder never crashes, never
// produces a token that is not a byte, and a macro never outgrows its slot.
#include "encoding/assignment_encoder.h"
#include "encoding/button_write.h"
#include "encoding/byte_tokens.h"
#include "encoding/device_code.h"
#include "encoding/key_colours.h"
#include "encoding/macro_encoder.h"
#include "unit/encoding/encoding_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace kf::encoding;
using kftest::d20;

namespace {

class RandomText {
public:
    explicit RandomText(unsigned seed) : rng_(seed) {
        const auto doc = kftest::driveDoc("D2.0");
        for (const pugi::xml_node key : doc->child("Driver").children("key")) {
            tasks_ << kftest::attr(key, "Task");
        }
    }

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T>
    const T& pick(const QList<T>& list) {
        return list.at(below(list.size()));
    }

    QString task() { return chance(85) ? pick(tasks_) : junk(); }

    QString number() {
        static const QStringList extremes = {"0",
                                             "-1",
                                             "1",
                                             "49",
                                             "50",
                                             "255",
                                             "256",
                                             "4095",
                                             "65535",
                                             "65536",
                                             "204750",
                                             "204800",
                                             "2147483647",
                                             "-2147483648",
                                             "9223372036854775807",
                                             "-9223372036854775808",
                                             "99999999999999999999",
                                             "",
                                             " ",
                                             "1e3",
                                             "0x10",
                                             "abc",
                                             "+7",
                                             "--1"};
        if (chance(50))
            return pick(extremes);
        return QString::number(std::uniform_int_distribution<qint64>(-100000, 300000)(rng_));
    }

    QString junk() {
        static const QString alphabet = QStringLiteral("aZ09,+|()#\"'\\[]/ -x_键盘按下延迟\t\n");
        QString s;
        const int n = below(12);
        for (int i = 0; i < n; ++i)
            s += alphabet.at(below(alphabet.size()));
        if (chance(3))
            s += QChar(0);
        return s;
    }

    QString chord() {
        QStringList parts;
        const int n = below(6);
        for (int i = 0; i < n; ++i)
            parts << (chance(50) ? task().toLower() : task());
        return parts.join(chance(90) ? "+" : "++");
    }

    QString macro() {
        static const QStringList names = {
            "键盘按下",   "键盘弹起",   "延迟",       "鼠标按下",     "鼠标弹起",     "上滚动", "下滚动",
            "绝对定位XY", "相对定位XY", "弹道压枪XY", "向左下角修正", "向右上角修正", "未知"};
        QString text;
        const int steps = chance(20) ? 60 + below(200) : below(30);
        for (int i = 0; i < steps; ++i) {
            const QString name = pick(names);
            QString argument;
            if (name.contains("XY") || name.contains("修正")) {
                argument = number() + (chance(90) ? "," + number() : QString());
            } else if (name == "延迟" || name.contains("滚动")) {
                argument = number();
            } else {
                argument = chance(80) ? task() : QString("ctrl");
            }
            text += chance(97) ? name + "(" + argument + ")" : junk();
        }
        return text;
    }

    QString codeString() {
        QStringList tokens;
        const int n = below(8);
        for (int i = 0; i < n; ++i) {
            tokens << (chance(80)   ? "0x" + QString::number(below(0x100), 16)
                       : chance(50) ? number()
                                    : junk());
        }
        return tokens.join(',');
    }

    QString dpi() {
        QStringList fields;
        const int n = below(5);
        for (int i = 0; i < n; ++i)
            fields << number();
        return fields.join('|');
    }

private:
    std::mt19937 rng_;
    QStringList tasks_;
};

void expectByteCode(const QString& code, const QString& what) {
    for (const QString& token : codeTokens(code)) {
        ASSERT_TRUE(isByteToken(token)) << "token " << token.toStdString() << " in " << what.toStdString();
    }
}

}  // namespace

TEST(EncodingProperty, HundredThousandRandomAssignments) {
    RandomText random(20240611u);
    static const QStringList types = {"Mouse",      "MACROFUN", "keyboard", "Hotkey", "Macro",
                                      "MultiMedia", "dpi",      "Gkey",     ""};
    static const QStringList playTypes = {"1", "2", "3", "4", "", "x", "ff", "100", "0x1"};
    int written = 0, cleared = 0, rejected = 0, macros = 0, cutMacros = 0;
    for (int i = 0; i < 100000; ++i) {
        ButtonAssignment r;
        r.type = random.pick(types);
        const QString kind = r.type.toUpper();
        if (kind == "MOUSE" || kind == "MACROFUN") {
            r.command = random.task();
        } else if (kind == "KEYBOARD" || kind == "HOTKEY") {
            r.command = random.chord();
        } else if (kind == "MACRO") {
            r.command = random.macro();
        } else if (kind == "MULTIMEDIA") {
            r.command = random.codeString();
        } else if (kind == "DPI") {
            r.command = random.dpi();
        } else {
            r.command = random.junk();
        }
        r.playType = random.chance(80) ? QString::number(1 + random.below(4)) : random.pick(playTypes);
        r.playCount = random.chance(70) ? QString::number(random.below(300)) : random.number();
        r.playDelay = random.number();
        r.taskIndex = random.chance(80) ? QString::number(random.below(200)) : random.number();
        r.mode = random.chance(80) ? QString::number(random.below(4)) : random.number();

        const QString what = r.type + " " + r.command;
        bool ok = false;
        const QString code = encodeAssignment(d20(), r.type, r.command, &ok);
        if (ok) {
            expectByteCode(code, what);
        } else {
            ASSERT_TRUE(code.isEmpty());
        }
        const ButtonWrite plan = planButtonWrite(d20(), r);
        switch (plan.action) {
            case ButtonWrite::Action::Write: {
                ++written;
                expectByteCode(plan.data, what);
                const QStringList tokens = codeTokens(plan.data);
                ASSERT_EQ(plan.size, QString::number(tokens.size())) << what.toStdString();
                ASSERT_GE(tokens.size(), 12);
                if (kind == "MACRO") {
                    ++macros;
                    bool parsed = false;
                    const int steps = tokens.at(13).toInt(&parsed, 16);
                    ASSERT_TRUE(parsed);
                    ASSERT_LE(steps, kMacroSlotBytes) << what.toStdString();
                    ASSERT_EQ(tokens.size(), 15 + steps) << what.toStdString();
                    cutMacros += steps >= kMacroStepCutBytes ? 1 : 0;
                }
                break;
            }
            case ButtonWrite::Action::Clear:
                ++cleared;
                ASSERT_EQ(plan.data, clearSlotCode());
                break;
            case ButtonWrite::Action::Reject:
                ++rejected;
                ASSERT_TRUE(plan.data.isEmpty());
                break;
        }
        ASSERT_FALSE(buttonWriteMessage(r, plan.action, true).isNull() &&
                     plan.action == ButtonWrite::Action::Clear);
    }
    // The generator reaches every outcome, and long macros among them.
    std::printf("written %d, cleared %d, rejected %d, macros %d (%d cut)\n", written, cleared, rejected,
                macros, cutMacros);
    EXPECT_GT(written, 25000);
    EXPECT_GT(cleared, 100);
    EXPECT_GT(rejected, 100);
    EXPECT_GT(macros, 3000);
    EXPECT_GT(cutMacros, 300);
}

TEST(EncodingProperty, RandomDirectWritesAndColourFrames) {
    RandomText random(7u);
    KeyColourFrame frame;
    const QByteArray header = frame.buffer().left(8);
    for (int i = 0; i < 20000; ++i) {
        const QString code = random.chance(50) ? random.codeString() : random.number();
        const QString length = random.chance(70) ? QString::number(random.below(7)) : random.number();
        QString out;
        if (deviceCodeForWrite(code, length, &out)) {
            expectByteCode(out, code);
            ASSERT_EQ(out.split(QLatin1Char(',')).size(), decimalOrZero(length));  // empty parts count
        } else {
            ASSERT_TRUE(out.isEmpty());
        }
        QStringList items = colourItems(unwrapColourData(random.junk() + random.junk()));
        items << random.junk() + "#" + random.junk();
        frame.apply(items);
        ASSERT_EQ(frame.buffer().size(), KeyColourFrame::kFrameBytes);
        ASSERT_EQ(frame.buffer().left(8), header);
    }
}
