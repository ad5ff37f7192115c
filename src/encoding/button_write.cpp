#include "encoding/button_write.h"

#include "encoding/assignment_encoder.h"
#include "encoding/byte_tokens.h"
#include "encoding/macro_encoder.h"

#include <QStringList>

namespace kf::encoding {
namespace {

constexpr int kMacroNumberOffset = 89;

}  // namespace

QString clearSlotCode() {
    return QStringLiteral("0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00");
}

bool macroBlock(const QString& taskIndex, const QString& mode, const QString& steps, QString* block) {
    if (block == nullptr) {
        return false;
    }
    block->clear();
    const qint64 index = decimalOrZero(taskIndex);
    const qint64 modeNumber = decimalOrZero(mode);
    // Far outside a byte either way; checked first so that the sum cannot overflow.
    if (index < -0xFFFF || index > 0xFFFF || modeNumber < -0xFFFF || modeNumber > 0xFFFF) {
        return false;
    }
    const qint64 number = index + modeNumber + kMacroNumberOffset;
    const QStringList tokens = codeTokens(steps);
    if (number < 0 || number > 0xFF || tokens.size() > kMacroSlotBytes) {
        return false;
    }
    *block = QStringLiteral("0x04,%1,%2,0x00").arg(hexText(number), hexText(tokens.size()));
    if (!tokens.isEmpty()) {
        *block += QLatin1Char(',') + tokens.join(QLatin1Char(','));
    }
    return true;
}

bool playHeader(const QString& code, const QString& playType, const QString& playCount, QString* header) {
    if (header == nullptr) {
        return false;
    }
    header->clear();
    QString fields = QStringLiteral("0,0,0,0");
    if (!code.startsWith(QLatin1String("0x01"))) {
        const qint64 count = decimalOrZero(playCount);
        if (!isByteToken(playType) || count < 0 || count > 0xFF) {
            return false;
        }
        fields = QStringList{playType, hexText(count), QStringLiteral("0"), QStringLiteral("0")}.join(
            QLatin1Char(','));
    }
    *header = QStringLiteral("0x01,") + fields + QStringLiteral(",0x00,0x00,0x00,0x00,0x00,0x00");
    return true;
}

ButtonWrite planButtonWrite(const DriverTable& table, const ButtonAssignment& request) {
    ButtonWrite plan;
    bool encoded = false;
    QString code = encodeAssignment(table, request.type, request.command, &encoded);
    if (!encoded) {
        return plan;
    }
    if (request.type.toUpper() == QLatin1String("MACRO")) {
        // A macro always gets its block, even with no steps.
        QString block;
        if (!macroBlock(request.taskIndex, request.mode, code, &block)) {
            return plan;
        }
        code = block;
    }
    if (code.isEmpty()) {
        plan.action = ButtonWrite::Action::Clear;
        plan.data = clearSlotCode();
        plan.size = clearSlotSize();
        return plan;
    }
    QString header;
    if (!playHeader(code, request.playType, request.playCount, &header)) {
        return plan;
    }
    plan.action = ButtonWrite::Action::Write;
    plan.data = normalizedCode(header + QLatin1Char(',') + code);
    plan.size = QString::number(codeTokenCount(plan.data));
    return plan;
}

QString buttonWriteMessage(const ButtonAssignment& request, ButtonWrite::Action action, bool written) {
    if (action == ButtonWrite::Action::Clear) {
        return written ? QStringLiteral("清除成功!") : QStringLiteral("清除失败!");
    }
    if (action == ButtonWrite::Action::Reject || !written) {
        return QStringLiteral("设置失败");
    }
    const QString& type = request.playType;
    if (type == QLatin1String("1")) {
        return QStringLiteral("设置成功:请点击执行,命令会执行（") + request.playCount +
               QStringLiteral("）次");
    }
    if (type == QLatin1String("2")) {
        return QStringLiteral("设置成功:请按下弹起执行,命令会执行（") + request.playCount +
               QStringLiteral("）次");
    }
    if (type == QLatin1String("3")) {
        return QStringLiteral("设置成功:请按住循环执行,松开停止,循环延迟时间（") + request.playDelay +
               QStringLiteral("）毫秒");
    }
    if (type == QLatin1String("4")) {
        return QStringLiteral("设置成功:请点击循环执行,再次点击停止,循环延迟时间（") + request.playDelay +
               QStringLiteral("）毫秒");
    }
    return QString();
}

}  // namespace kf::encoding
