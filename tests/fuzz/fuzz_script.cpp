// Fuzzes script lines. Each input runs inside a page of a valid template; lines naming
// outside commands are dropped and the output goes to /dev/null, so that no input can run
// programs or write files.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "generator/pdf_writer.h"
#include "generator/script_interpreter.h"
#include "store/failure.h"
#include "tests/support/template_builder.h"

namespace {

std::string template_path() {
    static std::string path;
    if (path.empty()) {
        path = "/tmp/fuzz_script_" + std::to_string(getpid()) + ".tpl";
        tb::PageSpec p;
        p.fields.push_back({"Name"});
        p.fields.push_back({"_Script"});
        tb::simple_template(path, {p});
    }
    return path;
}

bool starts(const std::string& line, const char* word) {
    return line.rfind(word, 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string script = "Tessaro\nstart\t/dev/null\nstartPage\t" + template_path() + "\n";
    std::string in(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    while (at < in.size()) {
        size_t nl = in.find('\n', at);
        std::string line = in.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? in.size() : nl + 1;
        if (starts(line, "setImageProc") || starts(line, "start\t") || starts(line, "Tessaro") ||
            starts(line, "setPageImageData") || starts(line, "setPageFieldImageData") ||
            starts(line, "setIccProfile") || starts(line, "startPage"))
            continue;
        script += line + "\n";
    }
    script += "endPage\nfinish\n";
    FILE* f = fmemopen(script.data(), script.size(), "rb");
    if (!f) return 0;
    try {
        run_script(f);
    } catch (const Failure&) {
    }
    std::fclose(f);
    print_close();
    return 0;
}
