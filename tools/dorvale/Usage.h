#pragma once
// The --help texts of dorvale and its subcommands.

inline constexpr char USAGE_DORVALE[] =
    "Usage: dorvale COMMAND [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Administers a Dorvale file library from the command line, as the Dorvale Explorer\n"
    "does in its window: lists areas, groups and files, adds files, posts or deletes\n"
    "uploads and review submissions, deletes files, checks them for viruses and runs the\n"
    "page generator. Meant for headless servers and cron.\n"
    "\n"
    "Commands:\n"
    "  areas                      list the file areas\n"
    "  groups                     list the file groups with their areas\n"
    "  files AREA                 list the files of an area (AREA is its id)\n"
    "  search TEXT [--in FIELDS]  find files whose fields contain TEXT\n"
    "  add-file ...               add one file (see dorvale add-file --help)\n"
    "  add-files DIR --area ID    add every file of a directory to a locally hosted area\n"
    "  uploads                    list the uploads waiting to be posted\n"
    "  uploads post NAME|--all    catalogue uploads and remove their description files\n"
    "  uploads delete NAME        delete an upload and its description file\n"
    "  reviews                    list the review submissions waiting\n"
    "  reviews post N|--all       publish submissions on their files' review pages\n"
    "  reviews delete N           delete submissions\n"
    "  file show ID               show a catalogue file, its areas and locations\n"
    "  file delete ID             delete a file from the catalogue (and its local copies)\n"
    "  file remove ID --area ID   take a file out of one area\n"
    "  virus-check ID             check a file's local copies with the virus checker\n"
    "  generate                   write the web site (runs sheetforge --console)\n"
    "  config show|set ...        the settings, as Dorvale Setup edits them\n"
    "  area add|edit|remove ...   add, change or remove a file area (as Dorvale Setup)\n"
    "  group add|edit|remove ...  add, change or remove a file group (as Dorvale Setup)\n"
    "\n"
    "Options of every command:\n"
    "  --yes              answer Yes (or OK) to every question\n"
    "  --no               answer No (or Cancel) to every question\n"
    "  --data-source DSN  the catalogue's ODBC data source (default Dorvale)\n"
    "  --help             show the command's help\n"
    "Listing commands (areas, groups, files, search, uploads, reviews, file show) take\n"
    "--json to print JSON instead of a table.\n"
    "\n"
    "Without --yes or --no a question is asked on the terminal; without a terminal the\n"
    "command refuses and says which question needed an answer.\n"
    "Settings come from the registry ($DORVALE_REGISTRY when set).\n"
    "\n"
    "Exit status: 0 done, 1 failed or refused, 2 wrong usage.\n";

inline constexpr char USAGE_AREAS[] =
    "Usage: dorvale areas [--json]\n"
    "\n"
    "Lists the file areas in store order: id, name, flags (D downloadable, U uploadable,\n"
    "H hosted locally), directory and HTTP alias.\n";

inline constexpr char USAGE_GROUPS[] =
    "Usage: dorvale groups [--json]\n"
    "\n"
    "Lists the file groups and, under each, its areas as the explorer's tree shows them.\n";

inline constexpr char USAGE_FILES[] =
    "Usage: dorvale files AREA [--json]\n"
    "\n"
    "Lists the files of the area with id AREA: id, title, size, file date, last download\n"
    "and brief description.\n";

inline constexpr char USAGE_SEARCH[] =
    "Usage: dorvale search TEXT [--in FIELDS] [--json]\n"
    "\n"
    "Lists the files, by title, in which any of FIELDS contains TEXT (letter case aside;\n"
    "% and _ are plain characters). FIELDS is a comma-separated list of title, short,\n"
    "long, author, email and url (default: all of them).\n";

inline constexpr char USAGE_ADD_FILE[] =
    "Usage: dorvale add-file --title T --area ID [--area ID...] --url URL [--url URL...] [FIELDS]\n"
    "       dorvale add-file --copy-to AREA FILE [--title T] [--area ID...] [FIELDS]\n"
    "       dorvale add-file --submission FILE --area ID [--area ID...] [FIELDS]\n"
    "\n"
    "Adds one file to the catalogue, as the explorer's add-file wizard does:\n"
    "  --url URL         a web file: its download address (ftp, http or https); repeat\n"
    "                    for more mirrors\n"
    "  --copy-to AREA FILE  a local file hosted in the area with id AREA: copied into\n"
    "                    the area's directory when it is not there (asks first), with a\n"
    "                    local:// location; its title, date, size and archive descriptions\n"
    "                    come from the file unless given. The file is listed in AREA\n"
    "                    unless --area names other areas.\n"
    "  --submission FILE a formatted file submission (Title=, SiteName1=, SiteUrl1=, ...)\n"
    "                    as received by mail; its values fill every field\n"
    "  --area ID         an area that lists the file (repeat for more)\n"
    "\n"
    "Fields (they replace the submission's or the file's values):\n"
    "  --title T (at most 30 bytes)   --version V (15)   --date YYYY-MM-DD\n"
    "  --author NAME (254)   --email ADDRESS (254; required)   --requires-form\n"
    "  --short TEXT (60)   --long-file FILE (the detailed description from a text file)\n"
    "\n"
    "Prints the new file's id.\n";

inline constexpr char USAGE_ADD_FILES[] =
    "Usage: dorvale add-files DIR --area ID [--recursive] [--extract-descriptions]\n"
    "\n"
    "Adds every file of DIR (or of a pattern such as DIR/*.zip) to the locally hosted\n"
    "area ID, titled after its name, with its size and date. Files outside the area's\n"
    "directory are copied into it (asks first). A file already catalogued at that place\n"
    "is reported and skipped.\n"
    "  --recursive             include subdirectories (not those starting with '.')\n"
    "  --extract-descriptions  take descriptions from desc.sdi and file_id.diz in zip\n"
    "                          archives\n"
    "Shows a progress bar on a terminal and prints the log at the end; exits 1 when any\n"
    "file could not be added.\n";

inline constexpr char USAGE_UPLOADS[] =
    "Usage: dorvale uploads [--json]\n"
    "       dorvale uploads post NAME|--all\n"
    "       dorvale uploads delete NAME\n"
    "\n"
    "Uploads are files in the directories of areas that accept uploads, each with its\n"
    "description file NAME.desc. The list shows each with the reason it cannot be posted,\n"
    "if any (a description naming an unsafe file, or a file that failed the virus check).\n"
    "  post    catalogues the upload (title, descriptions, its area and a local:// location)\n"
    "          and deletes its description file; the file stays where it is\n"
    "  delete  deletes the uploaded file and its description file (asks first)\n"
    "NAME is the uploaded file's name, or AREA/NAME when areas share a name.\n";

inline constexpr char USAGE_REVIEWS[] =
    "Usage: dorvale reviews [--json]\n"
    "       dorvale reviews post N...|--all\n"
    "       dorvale reviews delete N...|--all\n"
    "\n"
    "Review submissions are the reviews visitors sent, waiting in\n"
    "HttpPath/reviews/submissions.txt. N is a submission's number in the list.\n"
    "  post    appends the submission to its file's review file (the site shows it)\n"
    "  delete  deletes the submission (asks first)\n";

inline constexpr char USAGE_FILE[] =
    "Usage: dorvale file show ID [--json]\n"
    "       dorvale file delete ID [--keep-local]\n"
    "       dorvale file remove ID --area AREA [--keep-local]\n"
    "\n"
    "  show    the file's fields, areas and download locations\n"
    "  delete  deletes the file from the catalogue (asks first); its copies in local areas\n"
    "          are deleted too unless --keep-local\n"
    "  remove  takes the file out of area AREA; a file in that area only is deleted\n"
    "          (asks first; its local copies too unless --keep-local)\n";

inline constexpr char USAGE_VIRUS_CHECK[] =
    "Usage: dorvale virus-check ID\n"
    "\n"
    "Runs the configured virus checker (VirusChecker, VirusCmdLine, VirusExitCode) on each\n"
    "local copy of file ID. Exits 1 when a copy failed the check.\n";

inline constexpr char USAGE_GENERATE[] =
    "Usage: dorvale generate\n"
    "\n"
    "Writes the web site: runs sheetforge --console (found beside dorvale or on PATH)\n"
    "and exits with its exit status.\n";
