#include "ftp/ExtensionTable.h"

namespace {

const ExtensionEntry kExtensions[] = {
    {"FEAT", false, true, &CmdFeat},
    {"OPTS", true, true, &CmdOpts},
    {"MDTM", true, false, &CmdMdtm},
    {"MFMT", true, false, &CmdMfmt},
    {"STAT", false, false, &CmdStat},
    {"EPSV", false, false, &CmdEpsv},
    {"EPRT", true, false, &CmdEprt},
    {"MLSD", false, false, &CmdMlsd},
    {"MLST", false, false, &CmdMlst},
};

}  // namespace

const ExtensionEntry* FindExtension(std::string_view keyword) {
    for (const ExtensionEntry& entry : kExtensions)
        if (entry.keyword == keyword) return &entry;
    return nullptr;
}
