#include "api/OptionNames.h"

std::string OptionJsonName(const OptionRow& row) {
    for (const OptionRow& other : OptionRows()) {
        if (&other == &row) break;
        if (other.writeName == row.writeName)
            return std::string(row.section) + "." + std::string(row.writeName);
    }
    return std::string(row.writeName);
}

const OptionRow* OptionRowNamed(const std::string& name) {
    for (const OptionRow& row : OptionRows())
        if (OptionJsonName(row) == name) return &row;
    return nullptr;
}

const OptionRow* OptionRowOf(const OptionMember& member) {
    for (const OptionRow& row : OptionRows())
        if (row.member == member) return &row;
    return nullptr;
}
