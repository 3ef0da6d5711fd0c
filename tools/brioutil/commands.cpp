// The list of the tool's commands.
#include "cli.h"

namespace cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"form", "read and edit form files (get, set, delete)",
         "usage: brioutil form get FILE TYPE NAME KEY\n"
         "       brioutil form set FILE TYPE NAME KEY VALUE (--in-place | -o OUT)\n"
         "       brioutil form delete FILE TYPE NAME (--in-place | -o OUT)\n\n"
         "A form file holds nested sections: a line 'Begin TYPE NAME', property lines\n"
         "'key = value' and nested sections, closed by 'End'. Sections are found by\n"
         "type and name, keys and names in any case; the first matching section wins.\n\n"
         "  get     prints the property's value\n"
         "  set     replaces the value, or adds the property as the section's first line\n"
         "  delete  removes the section, its nested sections included\n\n"
         "options:\n"
         "  -o OUT      write the edited file to OUT ('-' for standard output)\n"
         "  --in-place  replace FILE itself (written atomically)\n\n"
         "example:\n"
         "  brioutil form set main.frm Form Main Caption \"Hello there\" --in-place\n",
         RunForm},
        {"apppath", "print where an application is installed",
         "usage: brioutil apppath NAME\n\n"
         "Prints the path registered for the application NAME (an executable's file\n"
         "name) under the App Paths registry key. On Linux the registry is the .reg\n"
         "file named by the environment variable BRIOUTIL_REGISTRY.\n\n"
         "example:\n"
         "  BRIOUTIL_REGISTRY=apps.reg brioutil apppath editor.exe\n",
         RunAppPath},
    };
    return commands;
}

}  // namespace cli
