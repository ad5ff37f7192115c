#include "crash/build_id.h"

#include <cstring>

#include <elf.h>
#include <link.h>

namespace kf::crash {
namespace {

size_t alignUp(size_t value, size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// Runs before crashing: normal context.
// Reads the build id note of the first object dl_iterate_phdr reports: the main program.
int readFirstBuildId(dl_phdr_info* info, size_t /*size*/, void* data) {
    auto* out = static_cast<QByteArray*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_NOTE) {
            continue;
        }
        const size_t alignment = header.p_align == 8 ? 8 : 4;
        const char* note = reinterpret_cast<const char*>(info->dlpi_addr + header.p_vaddr);
        size_t left = header.p_memsz;
        while (left >= sizeof(ElfW(Nhdr))) {
            ElfW(Nhdr) nhdr;
            std::memcpy(&nhdr, note, sizeof(nhdr));
            const size_t nameSize = alignUp(nhdr.n_namesz, alignment);
            const size_t descSize = alignUp(nhdr.n_descsz, alignment);
            const size_t total = sizeof(nhdr) + nameSize + descSize;
            if (total > left) {
                break;
            }
            if (nhdr.n_type == NT_GNU_BUILD_ID && nhdr.n_namesz == 4 &&
                std::memcmp(note + sizeof(nhdr), "GNU", 4) == 0 && nhdr.n_descsz <= 64) {
                *out = QByteArray(note + sizeof(nhdr) + nameSize, static_cast<int>(nhdr.n_descsz)).toHex();
                return 1;
            }
            note += total;
            left -= total;
        }
    }
    return 1;
}

}  // namespace

// Runs before crashing: normal context.
QByteArray mainBuildId() {
    QByteArray id;
    dl_iterate_phdr(readFirstBuildId, &id);
    return id;
}

}  // namespace kf::crash
