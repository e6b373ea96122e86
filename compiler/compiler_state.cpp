#include "compiler/compiler_state.h"

#include <cstring>

CompilerState g_cc;

void set_variant_switches(const char* program_name) {
    g_cc.f_merlow = g_cc.f_merlow14 = g_cc.f_jisx0213 = false;
    if (!program_name) return;
    if (std::strstr(program_name, "merlow14"))
        g_cc.f_merlow14 = true;
    else if (std::strstr(program_name, "merlow"))
        g_cc.f_merlow = true;
    if (std::strstr(program_name, "jisx0213")) g_cc.f_jisx0213 = true;
    if (std::strstr(program_name, "jisx0208")) g_cc.f_jisx0213 = false;
}

void compiler_reset(const char* program_name) {
    g_cc = CompilerState{};
    set_variant_switches(program_name);
}

void note_structure_error(const std::string& message) {
    g_cc.structure_errors.push_back(message);
}

void note_repair(const std::string& message) {
    g_cc.repairs.push_back(message);
}
