// brioutil form: get, set and delete on form files.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "brioutil.h"
#include "cli.h"
#include "platform/platform.h"
#include "textcode.h"

namespace cli {

namespace {

// Copies `source` to a work file beside `beside`; returns its path.
std::string WorkCopy(const std::string& source, const std::string& beside) {
    std::string bytes = ReadInput(source);
    std::string work = brio::TempNameBeside(beside);
    WriteOutput(work, bytes);
    return work;
}

// An edit works on a copy beside the destination, which replaces the
// destination only when the edit succeeded.
int EditCopy(const std::string& source, const std::string& destination,
             int32_t (*edit)(FormFile*, const std::vector<std::string>&),
             const std::vector<std::string>& what) {
    std::string work = WorkCopy(source, destination == "-" ? source : destination);
    FormFile* form = FormOpen(work.c_str());
    if (!form) {
        brio::PlatRemoveFile(work.c_str());
        Fail(kInput, source + ": cannot read");
    }
    int32_t status = edit(form, what);
    int32_t closed = FormClose(form);
    if (status != BRIO_OK || closed != BRIO_OK) {
        brio::PlatRemoveFile(work.c_str());
        if (status == BRIO_ERR_NOT_FOUND)
            Fail(kInput, source + ": no section '" + what[0] + " " + what[1] + "'");
        if (status == BRIO_ERR_BAD_VALUE) Fail(kInput, "a value cannot hold a line break");
        Fail(kInternal, "cannot write the edited file (status " +
                            std::to_string(status ? status : closed) + ")");
    }
    if (destination == "-") {
        std::string result = ReadInput(work);
        brio::PlatRemoveFile(work.c_str());
        WriteOutput("-", result);
    } else if (!brio::PlatReplaceFile(work.c_str(), destination.c_str())) {
        brio::PlatRemoveFile(work.c_str());
        Fail(kInput, destination + ": cannot replace: " + std::strerror(errno));
    }
    return kOk;
}

int32_t SetEdit(FormFile* form, const std::vector<std::string>& w) {
    return FormSetProperty(form, w[0].c_str(), w[1].c_str(), w[2].c_str(), w[3].c_str());
}

int32_t DeleteEdit(FormFile* form, const std::vector<std::string>& w) {
    return FormDeleteSection(form, w[0].c_str(), w[1].c_str());
}

std::string Destination(const Args& args, const std::string& file) {
    bool inPlace = args.Flag("--in-place");
    bool out = args.Has("-o");
    if (inPlace == out) Fail(kUsage, "give either --in-place or -o OUT");
    return inPlace ? file : args.Value("-o");
}

// The code page of the form file: Windows-1252 unless --code-page says.
int FormCodePage(const Args& args) {
    std::string v = args.Value("--code-page", "1252");
    if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos)
        Fail(kUsage, "--code-page takes a code page number such as 1252, not '" + v + "'");
    return std::stoi(v);
}

}  // namespace

int RunForm(const std::vector<std::string>& argv) {
    Args args(argv, {"-o", "--encoding", "--code-page"});
    const auto& given = args.Positional();
    std::vector<std::string> p = given;
    // What follows FILE goes into the form in its code page.
    for (size_t i = 2; i < p.size(); ++i)
        p[i] = ToDocument(p[i], InputCodePage(args, true), FormCodePage(args), "'" + p[i] + "'");
    if (p.empty()) Fail(kUsage, "usage: brioutil form get|set|delete FILE ...");
    const std::string& action = p[0];
    if (action == "get") {
        args.Expect(5, 5, "brioutil form get FILE TYPE NAME KEY");
        // Closing a form writes it back: read a copy so the file is never touched.
        std::string work = WorkCopy(p[1], p[1]);
        FormFile* form = FormOpen(work.c_str());
        if (!form) {
            brio::PlatRemoveFile(work.c_str());
            Fail(kInput, p[1] + ": cannot read");
        }
        const char* value = nullptr;
        int32_t length = 0;
        int32_t status =
            FormGetProperty(form, p[2].c_str(), p[3].c_str(), p[4].c_str(), &value, &length);
        std::string text = status == BRIO_OK ? std::string(value, length) : "";
        FormClose(form);
        brio::PlatRemoveFile(work.c_str());
        if (status != BRIO_OK)
            Fail(kInput, p[1] + ": no property '" + given[4] + "' in section '" + given[2] + " " +
                             given[3] + "'");
        std::cout << ToUtf8(text, FormCodePage(args)) << "\n";
        return kOk;
    }
    if (action == "set") {
        args.Expect(6, 6, "brioutil form set FILE TYPE NAME KEY VALUE (--in-place | -o OUT)");
        return EditCopy(p[1], Destination(args, p[1]), SetEdit, {p[2], p[3], p[4], p[5]});
    }
    if (action == "delete") {
        args.Expect(4, 4, "brioutil form delete FILE TYPE NAME (--in-place | -o OUT)");
        return EditCopy(p[1], Destination(args, p[1]), DeleteEdit, {p[2], p[3]});
    }
    Fail(kUsage, "unknown action '" + action + "': use get, set or delete");
}

}  // namespace cli
