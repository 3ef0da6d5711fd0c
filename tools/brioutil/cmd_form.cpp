// brioutil form: get, set and delete on form files.
#include <algorithm>
#include <iostream>
#include <string>

#include "brioutil.h"
#include "cli.h"
#include "files.h"
#include "helpdoc.h"
#include "report.h"
#include "textcode.h"

namespace cli {

namespace {

// A form edited by the library in a copy in a private work folder: results
// are the tool's to write, and reading a form writes nothing beside it.
class Form {
  public:
    explicit Form(const std::string& path) : path_(path), work_(folder_.File("form.frm")) {
        std::string text = ReadInput(path);
        try {
            WriteOutput(work_, text);
        } catch (const Failure&) {
            Fail(kInput, path_ + ": cannot copy to the temporary folder");
        }
        Open();
    }
    ~Form() {
        if (form_) FormClose(form_);
    }
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    FormFile* Handle() { return form_; }
    // The lines as the library writes the form back: it writes the copy,
    // which is then read again for the next edit.
    std::string Text() {
        int32_t status = FormClose(form_);
        form_ = nullptr;
        if (status == BRIO_ERR_NO_MEMORY) Fail(kInternal, path_ + ": out of memory");
        if (status != BRIO_OK) Fail(kInternal, path_ + ": cannot write the work copy");
        std::string text;
        try {
            text = ReadInput(work_);
        } catch (const Failure&) {
            Fail(kInternal, path_ + ": cannot read the work copy back");
        }
        Open();
        return text;
    }
    // The property's value, or false when there is none.
    bool Get(const std::string& type, const std::string& name, const std::string& key,
             std::string* value) {
        const char* text = nullptr;
        int32_t length = 0;
        if (FormGetProperty(form_, type.c_str(), name.c_str(), key.c_str(), &text, &length) !=
            BRIO_OK)
            return false;
        value->assign(text, static_cast<size_t>(length));
        return true;
    }

  private:
    void Open() {
        form_ = FormOpen(work_.c_str());
        if (!form_) Fail(kInternal, path_ + ": out of memory");
    }

    std::string path_;
    WorkDir folder_;
    std::string work_;
    FormFile* form_ = nullptr;
};

// Lines of a form's text as the library writes it: each one ends in LF.
int32_t LineCount(const std::string& text) {
    return static_cast<int32_t>(std::count(text.begin(), text.end(), '\n'));
}

std::string Destination(const Args& args, const std::string& file) {
    bool inPlace = args.Flag("--in-place");
    bool out = args.Has("-o");
    if (inPlace == out) Fail(kUsage, "give either --in-place or -o OUT");
    if (inPlace && file == "-") Fail(kUsage, "standard input can only go to -o OUT");
    if (inPlace) return file;
    std::string destination = args.Value("-o");
    CheckOutputFile(destination, "-o");
    RefuseOverwrite({file}, destination, "--in-place");
    return destination;
}

// Writes the edited form; false when it is the file itself, unchanged.
bool Write(const std::string& file, const std::string& destination, const std::string& before,
           const std::string& after) {
    if (destination == file && destination != "-" && before == after) return false;
    WriteOutput(destination, after);
    return true;
}

std::string JsonOrNull(bool present, const std::string& text) {
    return present ? JsonString(text) : "null";
}

// The code page of the form file: Windows-1252 unless --code-page says.
int FormCodePage(const Args& args) {
    std::string v = args.Value("--code-page", "1252");
    if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos)
        Fail(kUsage, "--code-page takes a code page number such as 1252, not '" + v + "'");
    return std::stoi(v);
}

// form get: prints one property's value.
int FormGet(Args& args, const std::vector<std::string>& given, const std::vector<std::string>& p,
            int codePage) {
    args.Only("form get", {});
    args.Expect(5, 5, "brioutil form get FILE TYPE NAME KEY");
    Form form(p[1]);
    std::string value;
    if (!form.Get(p[2], p[3], p[4], &value))
        Fail(kInput, p[1] + ": no property '" + given[4] + "' in section '" + given[2] + " " +
                         given[3] + "'");
    value = ToUtf8(value, codePage);
    if (args.Json())
        std::cout << "{\"file\": " << JsonString(p[1]) << ", \"type\": " << JsonString(given[2])
                  << ", \"name\": " << JsonString(given[3]) << ", \"key\": " << JsonString(given[4])
                  << ", \"value\": " << JsonString(value) << "}\n";
    else
        std::cout << Printable(value) << "\n";
    return kOk;
}

// What a set or delete did, for the report.
struct Edit {
    const std::string& file;
    const std::string& destination;
    bool written, set, had;
    const std::string& old;
    int32_t deleted;
};

void ReportEdit(const Args& args, const Edit& e, const std::vector<std::string>& p, int codePage) {
    std::ostream& log = e.destination == "-" ? std::cerr : std::cout;
    // Reported in UTF-8, as the form's code page has them.
    auto shown = [&](const std::string& text) { return ToUtf8(text, codePage); };
    std::string section = shown(p[2]) + " " + shown(p[3]);
    if (args.Json()) {
        log << "{\"file\": " << JsonString(e.file) << ", \"output\": " << JsonString(e.destination)
            << ", \"written\": " << (e.written ? "true" : "false")
            << ", \"type\": " << JsonString(shown(p[2]))
            << ", \"name\": " << JsonString(shown(p[3]));
        if (e.set)
            log << ", \"key\": " << JsonString(shown(p[4]))
                << ", \"old\": " << JsonOrNull(e.had, shown(e.old))
                << ", \"new\": " << JsonString(shown(p[5])) << "}\n";
        else
            log << ", \"lines\": " << e.deleted << "}\n";
        return;
    }
    if (args.Quiet()) return;
    log << Printable(e.file) << ": ";
    if (!e.set)
        log << "section '" << Printable(section) << "' deleted (" << e.deleted << " lines)";
    else if (!e.had)
        log << "'" << Printable(section) << "' " << Printable(shown(p[4])) << " added: \""
            << Printable(shown(p[5])) << "\"";
    else
        log << "'" << Printable(section) << "' " << Printable(shown(p[4])) << ": \""
            << Printable(shown(e.old)) << "\" -> \"" << Printable(shown(p[5])) << "\"";
    if (!e.written)
        log << " (unchanged)";
    else if (e.destination != "-")
        log << " -> " << Printable(e.destination);
    log << "\n";
}

}  // namespace

int RunForm(const std::vector<std::string>& argv) {
    Args args(argv, {"--in-place"}, {"-o", "--encoding", "--code-page"});
    const auto& given = args.Positional();
    std::vector<std::string> p = given;
    const int codePage = FormCodePage(args), input = InputCodePage(args, true);
    // What follows FILE goes into the form in its code page.
    for (size_t i = 2; i < p.size(); ++i)
        p[i] = ToDocument(p[i], input, codePage, "'" + p[i] + "'");
    if (p.empty()) Fail(kUsage, "usage: brioutil form get|set|delete FILE ...");
    const std::string& action = p[0];
    if (action == "get") return FormGet(args, given, p, codePage);
    if (action != "set" && action != "delete")
        Fail(kUsage, "unknown action '" + action + "': use get, set or delete");
    args.Only("form " + action, {"--in-place", "-o"});
    bool set = action == "set";
    if (set)
        args.Expect(6, 6, "brioutil form set FILE TYPE NAME KEY VALUE (--in-place | -o OUT)");
    else
        args.Expect(4, 4, "brioutil form delete FILE TYPE NAME (--in-place | -o OUT)");
    const std::string& file = p[1];
    std::string destination = Destination(args, file);
    Form form(file);
    std::string before = form.Text();
    std::string old;
    bool had = set && form.Get(p[2], p[3], p[4], &old);
    // A value set to what it already is leaves the line as it was written.
    int32_t status = set && had && old == p[5] ? BRIO_OK
                     : set ? FormSetProperty(form.Handle(), p[2].c_str(), p[3].c_str(),
                                             p[4].c_str(), p[5].c_str())
                           : FormDeleteSection(form.Handle(), p[2].c_str(), p[3].c_str());
    if (status == BRIO_ERR_NOT_FOUND)
        Fail(kInput, file + ": no section '" + given[2] + " " + given[3] + "'");
    if (status == BRIO_ERR_BAD_VALUE) Fail(kInput, "a value cannot hold a line break");
    if (status != BRIO_OK) Fail(kInternal, file + ": " + StatusText(status));
    std::string after = form.Text();
    int32_t deleted = LineCount(before) - LineCount(after);
    bool written = Write(file, destination, before, after);
    ReportEdit(args, {file, destination, written, set, had, old, deleted}, p, codePage);
    return kOk;
}

}  // namespace cli
