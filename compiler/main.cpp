// carvel: compiles one form PDF into a template file for tessaro.
//   carvel form.pdf   writes form.pdf.tpl, form.pdf.log and, when something is wrong,
//                     form.pdf.log.err
// The program's name selects variants: "merlow14" or "merlow" (vertical text position of
// fields), "jisx0213" (Unicode CMap names; "jisx0208" turns it off again).
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "compiler/compile.h"
#include "compiler/compile_log.h"
#include "compiler/compiler_state.h"
#include "compiler/crash_handler.h"
#include "store/failure.h"

int main(int argc, char** argv) {
    if (argc != 2) return 1;
    std::string pdf = argv[1];
    std::remove(err_log_path(pdf).c_str());
    install_crash_handler(pdf);
    try {
        CompileStatus st = compile_pdf_file(argv[0], pdf);
        if (st == CompileStatus::cannot_open) {
            report_error("Can't open file(" + pdf + ")");
            std::printf("\n");  // the message above has no line end of its own
        }
        // A template of ciphertext would print garbage: none is written.
        if (st == CompileStatus::encrypted) {
            report_error(g_cc.encryption_error);
            return 1;
        }
        bool written = write_compile_outputs();
        std::printf("%s\n", compile_summary(pdf).c_str());
        if (!written || st == CompileStatus::cannot_open) return 1;
    } catch (const Failure& f) {
        report_error(f.message);
        return 1;
    } catch (const std::bad_alloc&) {
        report_error("Out of memory.");
        return 1;
    } catch (const std::exception& e) {
        // Not one of the program's own failures: reported like them.
        std::fprintf(stderr, "carvel: unexpected exception: %s\n", e.what());
        report_error("Internal error(" + std::string(e.what()) + ")");
        return 1;
    }
    return 0;
}
