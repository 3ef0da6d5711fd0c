// The list of the tool's commands.
#include "cli.h"

#include <iterator>

namespace cli {

namespace {

const Command kCommands[] = {
    {"autolink", "link registered terms in topics (a file, a help file, a folder)",
     "usage: brioutil autolink TERMS INPUT (--in-place | -o OUT | --out-dir DIR)\n"
     "       brioutil autolink TERMS INPUT --dry-run\n\n"
     "Turns every occurrence of a registered term into a link (underlined text and\n"
     "hidden jump text in the character style \"Autolink;\"). Text that already is a\n"
     "hot spot, destinations and bitmap references are left alone.\n\n"
     "INPUT is one topic file (RTF), a help-compiler RTF file (topics separated by\n"
     "\\page, with # $ K + footnotes: every topic is linked and the file is written\n"
     "back as help-compiler input; a topic never links to itself), or a folder: every\n"
     ".rtf file under it.\n\n"
     "TERMS is a text file, one reference per line, fields separated by tabs:\n"
     "  TERM  SYNONYMS(;-separated)  TARGET  [jump|popup]  [CASE yes|no]  [EXCLUDE yes|no]\n"
     "Lines starting with # are comments. Excluded terms are never linked.\n\n"
     "options:\n"
     "  -o OUT         write the result to OUT ('-' for standard output; one file only)\n"
     "  --out-dir DIR  write each result under DIR (a folder's layout is kept)\n"
     "  --in-place     replace the input files (each written atomically)\n"
     "  --once         link each reference only at its first occurrence in a topic\n"
     "  --colour N     colour links with entry N of the document's colour table\n"
     "  --context CTX  the context string of a topic file (no links to itself); by\n"
     "                 default the one a topics.tsv beside the file gives it\n"
     "  --dry-run      print the links that would be made; write nothing\n"
     "  -v             also print every link made;  -q  print nothing but errors\n"
     "  --json         report as JSON (files, links made, counts)\n"
     "  --encoding ENC the encoding of TERMS: utf-8 (default) or a code page such\n"
     "                 as 1252; terms go into each document's code page, and a\n"
     "                 term it cannot hold is reported and left out\n\n"
     "INPUT must be RTF (start with {\\rtf). Outputs are never inputs: giving the\n"
     "input or the terms file as -o is refused. --in-place rewrites only the files\n"
     "that change; results for a folder appear together, or none does.\n\n"
     "example:\n"
     "  brioutil autolink terms.txt help/guide.rtf --once -o build/guide.rtf\n",
     RunAutolink},
    {"unlink", "remove the links that autolink made",
     "usage: brioutil unlink INPUT (--in-place | -o OUT | --out-dir DIR | --dry-run)\n\n"
     "Takes every link of the \"Autolink;\" style apart again, keeping its text\n"
     "(the hidden target goes). Hot spots written by hand are kept. INPUT is an RTF\n"
     "file or a folder (every .rtf file under it). Line ends of the input are not\n"
     "kept. Help-compiler files written by autolink no longer carry the style:\n"
     "their links are ordinary hot spots and stay.\n\n"
     "options: -o OUT, --out-dir DIR, --in-place, --dry-run, -q, -v, --json (as for\n"
     "autolink)\n\n"
     "example:\n"
     "  brioutil unlink topics/ --out-dir plain/\n",
     RunUnlink},
    {"topics", "list, split and join the topics of a help-compiler RTF file",
     "usage: brioutil topics list FILE [--json]\n"
     "       brioutil topics split FILE --out-dir DIR\n"
     "       brioutil topics join PROPERTIES -o OUT [--allow-outside]\n"
     "       brioutil topics dummy PROPERTIES -o OUT\n\n"
     "  list   one line per topic: context string (#), title ($), keywords (K,\n"
     "         |-separated), browse sequence (+), size of the non-scrolling region,\n"
     "         first line of text; --json for a JSON array\n"
     "  split  writes each topic as an RTF document of its own (NNN-CONTEXT.rtf, the\n"
     "         footnotes taken out) and DIR/topics.tsv with their properties; the\n"
     "         files appear together when all are written (DIR's parent must exist)\n"
     "  join   writes the topics named by a properties file back as one\n"
     "         help-compiler file, footnotes and non-scrolling regions restored;\n"
     "         it reads only files in the properties file's folder (and below)\n"
     "         unless --allow-outside\n"
     "  dummy  writes a file of placeholder topics, one per line of a properties file\n\n"
     "A properties file is tab-separated; its first line names the columns:\n"
     "  join:  file context title macro keywords browse nonscroll footnotes\n"
     "  dummy: context title macro keywords browse body keepn\n"
     "(any order, missing columns are empty; 'file' is relative to the properties\n"
     "file; keywords are |-separated; footnotes holds the other footnotes (A, @,\n"
     "...), each its mark then its text, |-separated; keepn yes makes the topic\n"
     "non-scrolling).\n"
     "Common options: -q (nothing but errors), -v (split: every file written),\n"
     "--json (report as JSON).\n\n"

     "examples:\n"
     "  brioutil topics list guide.rtf\n"
     "  brioutil topics split guide.rtf --out-dir guide/ && "
     "brioutil topics join guide/topics.tsv -o guide2.rtf\n",
     RunTopics},
    {"find", "which topics contain a phrase",
     "usage: brioutil find PHRASE FILE... [--json] [--encoding ENC]\n\n"
     "Prints each topic whose text contains the words of PHRASE as consecutive\n"
     "words (whole words, any case). A FILE may be a topic file, a help-compiler\n"
     "file (each topic is searched) or a folder (every .rtf file under it). Finding\n"
     "nothing is not an error: the output is then empty. A FILE that is not RTF\n"
     "(does not start with {\\rtf) is an error.\n\n"
     "PHRASE is UTF-8 unless --encoding names its code page (1252, cp932, ...);\n"
     "it is compared with each document's text in that document's code page.\n\n"
     "example:\n"
     "  brioutil find \"print setup\" guide.rtf topics/\n",
     RunFind},
    {"picture", "hotspot pictures: info, extract, build, preview",
     "usage: brioutil picture info FILE [--json]\n"
     "       brioutil picture extract FILE -o OUT.bmp\n"
     "       brioutil picture build BITMAP HOTSPOTS -o OUT\n"
     "       brioutil picture preview FILE -o OUT.svg\n\n"
     "FILE is a bitmap group file (with hotspots), a Windows bitmap or a placeable\n"
     "metafile.\n"
     "  info     the file's type, the bitmap's size and the hotspots\n"
     "  extract  the bitmap as a .bmp file\n"
     "  build    a bitmap group file from a bitmap (or another picture) and a\n"
     "           hotspot list\n"
     "  preview  an SVG page showing the picture with each hotspot's rectangle and\n"
     "           binding drawn over it (red jump, green popup, blue macro)\n\n"
     "A hotspot list has one hotspot per line: LEFT TOP RIGHT BOTTOM KIND BINDING,\n"
     "KIND jump, popup or macro, the binding the rest of the line (it may be\n"
     "empty); # comments. 'picture info' prints its hotspots in this form. build\n"
     "warns about hotspots that reach outside the picture.\n\n"
     "FILE, BITMAP or HOTSPOTS may be '-' (standard input), OUT may be '-'\n"
     "(standard output). Options: -q (nothing but errors), --json (report as JSON).\n\n"
     "example:\n"
     "  brioutil picture build map.bmp map-hotspots.txt -o map.shg\n"
     "  brioutil picture preview map.shg -o map.svg\n",
     RunPicture},
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
     "set and delete report what they changed (the old and new value, the lines\n"
     "removed). FILE may be '-' (standard input).\n\n"
     "options:\n"
     "  -o OUT      write the edited file to OUT ('-' for standard output)\n"
     "  --in-place  replace FILE itself (written atomically, only when it changes)\n"
     "  -q          print nothing but errors\n"
     "  --json      print the value (get) or the report (set, delete) as JSON\n"
     "  --code-page N   the form file's code page (default 1252)\n"
     "  --encoding ENC  the encoding of the arguments: utf-8 (default) or a code\n"
     "                  page; a character the form's code page cannot hold is\n"
     "                  refused. get prints the value in UTF-8.\n\n"
     "example:\n"
     "  brioutil form set main.frm Form Main Caption \"Hello there\" --in-place\n",
     RunForm},
    {"apppath", "print where an application is installed",
     "usage: brioutil apppath NAME\n\n"
     "Prints the path registered for the application NAME (an executable's file\n"
     "name) under the App Paths registry key. On Linux the registry is the .reg\n"
     "file named by the environment variable BRIOUTIL_REGISTRY. Errors say which\n"
     "registry was read, and when it is missing or not set. --json prints the\n"
     "name, the path and the registry as JSON.\n\n"
     "example:\n"
     "  BRIOUTIL_REGISTRY=apps.reg brioutil apppath editor.exe\n",
     RunAppPath},
};

}  // namespace

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands(std::begin(kCommands), std::end(kCommands));
    return commands;
}

}  // namespace cli
