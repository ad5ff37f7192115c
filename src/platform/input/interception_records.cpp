#include "platform/input/interception_records.h"

namespace kf::platform {

namespace {
void put16(quint8* out, quint16 v) {
    out[0] = quint8(v);
    out[1] = quint8(v >> 8);
}
void put32(quint8* out, quint32 v) {
    put16(out, quint16(v));
    put16(out + 2, quint16(v >> 16));
}
quint16 get16(const quint8* in) {
    return quint16(in[0] | (in[1] << 8));
}
quint32 get32(const quint8* in) {
    return quint32(get16(in)) | (quint32(get16(in + 2)) << 16);
}
}  // namespace

void writeRecord(const KeyboardInputRecord& record, quint8* out) {
    put16(out, record.unitId);
    put16(out + 2, record.makeCode);
    put16(out + 4, record.flags);
    put16(out + 6, record.reserved);
    put32(out + 8, record.extraInformation);
}

void writeRecord(const MouseInputRecord& record, quint8* out) {
    put16(out, record.unitId);
    put16(out + 2, record.flags);
    put16(out + 4, record.buttonFlags);
    put16(out + 6, record.buttonData);
    put32(out + 8, record.rawButtons);
    put32(out + 12, quint32(record.lastX));
    put32(out + 16, quint32(record.lastY));
    put32(out + 20, record.extraInformation);
}

KeyboardInputRecord readKeyboardRecord(const quint8* in) {
    KeyboardInputRecord r;
    r.unitId = get16(in);
    r.makeCode = get16(in + 2);
    r.flags = get16(in + 4);
    r.reserved = get16(in + 6);
    r.extraInformation = get32(in + 8);
    return r;
}

MouseInputRecord readMouseRecord(const quint8* in) {
    MouseInputRecord r;
    r.unitId = get16(in);
    r.flags = get16(in + 2);
    r.buttonFlags = get16(in + 4);
    r.buttonData = get16(in + 6);
    r.rawButtons = get32(in + 8);
    r.lastX = qint32(get32(in + 12));
    r.lastY = qint32(get32(in + 16));
    r.extraInformation = get32(in + 20);
    return r;
}

}  // namespace kf::platform
