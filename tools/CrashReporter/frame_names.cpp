#include "frame_names.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QVector>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include <cxxabi.h>
#include <elf.h>

namespace {

constexpr int kMaxFrames = 256;

struct Mapping {
    quint64 start = 0;
    quint64 end = 0;
    quint64 offset = 0;  // file offset of `start`
    QString path;
};

struct DumpAddresses {
    quint64 pc = 0;
    QVector<quint64> frames;
    QVector<Mapping> maps;
};

quint64 hexValue(const QString& text, bool* ok) {
    return text.toULongLong(ok, 16);
}

DumpAddresses readAddresses(const QByteArray& dump) {
    static const QRegularExpression mapLine(
        QStringLiteral("^([0-9a-f]+)-([0-9a-f]+) \\S+ ([0-9a-f]+) \\S+ \\d+ *(.*)$"));
    DumpAddresses out;
    enum class Section { Header, Backtrace, Maps } section = Section::Header;
    for (const QByteArray& raw : dump.split('\n')) {
        const QString line = QFile::decodeName(raw);
        bool ok = false;
        if (line == QLatin1String("backtrace:")) {
            section = Section::Backtrace;
        } else if (line == QLatin1String("maps:")) {
            section = Section::Maps;
        } else if (line == QLatin1String("symbols:")) {
            break;  // what an earlier run added
        } else if (section == Section::Header && line.startsWith(QLatin1String("pc: 0x"))) {
            out.pc = hexValue(line.mid(6), &ok);
        } else if (section == Section::Backtrace && line.startsWith(QLatin1String("0x")) &&
                   out.frames.size() < kMaxFrames) {
            const quint64 address = hexValue(line.mid(2), &ok);
            if (ok) {
                out.frames.append(address);
            }
        } else if (section == Section::Maps) {
            const QRegularExpressionMatch match = mapLine.match(line);
            Mapping mapping;
            bool startOk = false, endOk = false;
            mapping.start = hexValue(match.captured(1), &startOk);
            mapping.end = hexValue(match.captured(2), &endOk);
            mapping.offset = hexValue(match.captured(3), &ok);
            mapping.path = match.captured(4);
            if (match.hasMatch() && startOk && endOk && ok && mapping.start < mapping.end) {
                out.maps.append(mapping);
            }
        }
    }
    return out;
}

// The function symbols of a 64-bit ELF file of this machine's byte order, read from the file
// mapped into memory. The file is not trusted: every offset and count is checked against its size.
class ElfSymbols {
public:
    explicit ElfSymbols(const QString& path) : file_(path) {
        // Only regular files: a FIFO or a device named by a damaged dump would block or never end.
        if (!QFileInfo(path).isFile() || !file_.open(QIODevice::ReadOnly)) {
            return;
        }
        size_ = static_cast<quint64>(file_.size());
        data_ = size_ >= sizeof(Elf64_Ehdr) ? file_.map(0, file_.size()) : nullptr;
        const unsigned char nativeOrder = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? ELFDATA2LSB : ELFDATA2MSB;
        if (!read(0, &header_) || std::memcmp(header_.e_ident, ELFMAG, SELFMAG) != 0 ||
            header_.e_ident[EI_CLASS] != ELFCLASS64 || header_.e_ident[EI_DATA] != nativeOrder) {
            data_ = nullptr;
        }
    }

    // The demangled name of the function covering `fileOffset`, and how far into it the offset
    // lies; empty when no symbol covers it.
    QString functionAt(quint64 fileOffset, quint64* distance) const {
        quint64 address = 0;
        if (data_ == nullptr || !addressOf(fileOffset, &address)) {
            return QString();
        }
        // The full table first: it also names the functions the dynamic one leaves out.
        for (const Elf64_Word type : {Elf64_Word(SHT_SYMTAB), Elf64_Word(SHT_DYNSYM)}) {
            for (Elf64_Half i = 0; i < header_.e_shnum; ++i) {
                Elf64_Shdr symbols{};
                Elf64_Shdr names{};
                if (section(i, &symbols) && symbols.sh_type == type && section(symbols.sh_link, &names)) {
                    const QString name = findSymbol(symbols, names, address, distance);
                    if (!name.isEmpty()) {
                        return name;
                    }
                }
            }
        }
        return QString();
    }

private:
    template <typename T>
    bool read(quint64 offset, T* out) const {
        if (data_ == nullptr || offset > size_ || sizeof(T) > size_ - offset) {
            return false;
        }
        std::memcpy(out, data_ + offset, sizeof(T));
        return true;
    }

    bool section(quint64 index, Elf64_Shdr* out) const {
        return index < header_.e_shnum && header_.e_shentsize >= sizeof(Elf64_Shdr) &&
               read(header_.e_shoff + index * header_.e_shentsize, out);
    }

    // File offset to the address the symbols use, through the loaded segment holding it.
    bool addressOf(quint64 fileOffset, quint64* address) const {
        for (Elf64_Half i = 0; i < header_.e_phnum && header_.e_phentsize >= sizeof(Elf64_Phdr); ++i) {
            Elf64_Phdr segment{};
            if (read(header_.e_phoff + quint64(i) * header_.e_phentsize, &segment) &&
                segment.p_type == PT_LOAD && fileOffset >= segment.p_offset &&
                fileOffset - segment.p_offset < segment.p_filesz) {
                *address = fileOffset - segment.p_offset + segment.p_vaddr;
                return true;
            }
        }
        return false;
    }

    QString findSymbol(const Elf64_Shdr& symbols, const Elf64_Shdr& names, quint64 address,
                       quint64* distance) const {
        if (symbols.sh_offset > size_ || symbols.sh_size > size_ - symbols.sh_offset ||
            names.sh_offset > size_ || names.sh_size > size_ - names.sh_offset) {
            return QString();
        }
        const quint64 count = symbols.sh_size / sizeof(Elf64_Sym);
        for (quint64 i = 0; i < count; ++i) {
            Elf64_Sym symbol{};
            read(symbols.sh_offset + i * sizeof(Elf64_Sym), &symbol);
            const int type = ELF64_ST_TYPE(symbol.st_info);
            if ((type != STT_FUNC && type != STT_GNU_IFUNC) || symbol.st_shndx == SHN_UNDEF ||
                address < symbol.st_value || address - symbol.st_value >= symbol.st_size ||
                symbol.st_name >= names.sh_size) {
                continue;
            }
            const char* name = reinterpret_cast<const char*>(data_ + names.sh_offset + symbol.st_name);
            const size_t length = strnlen(name, names.sh_size - symbol.st_name);
            if (length == 0 || length == names.sh_size - symbol.st_name) {
                continue;  // empty, or not terminated inside the table
            }
            *distance = address - symbol.st_value;
            return demangled(QByteArray(name, static_cast<int>(length)));
        }
        return QString();
    }

    static QString demangled(const QByteArray& name) {
        int status = 0;
        char* readable = abi::__cxa_demangle(name.constData(), nullptr, nullptr, &status);
        const QString result =
            QString::fromUtf8(status == 0 && readable != nullptr ? QByteArray(readable) : name);
        std::free(readable);
        return result;
    }

    QFile file_;
    const uchar* data_ = nullptr;
    quint64 size_ = 0;
    Elf64_Ehdr header_{};
};

QString hex(quint64 value) {
    return QStringLiteral("0x%1").arg(value, 0, 16);
}

}  // namespace

QStringList nameFrames(const QByteArray& dump) {
    const DumpAddresses addresses = readAddresses(dump);
    std::map<QString, std::unique_ptr<ElfSymbols>> modules;
    QStringList lines;
    // The frames before the faulting instruction are the crash handler's own.
    const int first = qMax(0, addresses.frames.indexOf(addresses.pc));
    for (int i = first; i < addresses.frames.size(); ++i) {
        const quint64 address = addresses.frames.at(i);
        // A return address points after its call: look up the call itself. The faulting
        // instruction is exact.
        const quint64 lookup = address == addresses.pc || address == 0 ? address : address - 1;
        QString line = QStringLiteral("#%1 0x%2").arg(i - first).arg(address, 16, 16, QLatin1Char('0'));
        const Mapping* mapping = nullptr;
        for (const Mapping& candidate : addresses.maps) {
            if (lookup >= candidate.start && lookup < candidate.end) {
                mapping = &candidate;
                break;
            }
        }
        if (mapping == nullptr || mapping->path.isEmpty()) {
            lines.append(line + QStringLiteral(" ?"));
            continue;
        }
        const quint64 offset = lookup - mapping->start + mapping->offset;
        std::unique_ptr<ElfSymbols>& symbols = modules[mapping->path];
        if (!symbols && mapping->path.startsWith('/')) {
            symbols = std::make_unique<ElfSymbols>(mapping->path);
        }
        quint64 distance = 0;
        const QString function = symbols ? symbols->functionAt(offset, &distance) : QString();
        if (!function.isEmpty()) {
            line += ' ' + function + '+' + hex(distance);
        }
        lines.append(line + QStringLiteral(" (%1+%2)").arg(mapping->path, hex(offset)));
    }
    return lines;
}
