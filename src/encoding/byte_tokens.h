#pragma once
// Helpers for code strings: device payloads written as byte tokens joined by "," (for example
// "0x01,0x02,e8,3"). A token is a hexadecimal number with or without a "0x" prefix; numbers that
// the encoder computes are written in lower-case hexadecimal without prefix or leading zeros.
#include <QString>
#include <QStringList>

namespace kf::encoding {

// Splits a code string at "," and drops empty parts (a trailing "," is allowed).
QStringList codeTokens(const QString& code);

// Number of non-empty tokens of a code string, without building the list.
int codeTokenCount(const QString& code);

// The tokens of `code` joined again with "," (empty parts dropped).
QString normalizedCode(const QString& code);

// True when `token` is hexadecimal digits, optionally after "0x" or "0X", whose value is at most
// 0xFF: the only tokens a device write can turn into one byte each.
bool isByteToken(const QString& token);

// True when every token of the list is a byte token.
bool allByteTokens(const QStringList& tokens);

// `value` as lower-case hexadecimal text without prefix ("e8", "0"); negative values keep a sign.
QString hexText(qint64 value);

// Parses decimal text (surrounding blanks ignored). Malformed or out-of-range text gives 0, as
// the device layer treats every number it cannot read.
qint64 decimalOrZero(const QString& text);

}  // namespace kf::encoding
