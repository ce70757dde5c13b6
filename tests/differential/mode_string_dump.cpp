// Our side of the differential test of the mode-string parser.
//
//   mode_string_dump CORPUS                                 prints one line per case
//   mode_string_dump CORPUS WINDOWS_OUTPUT DIVERGENCES      compares with what the Windows probe printed
//
// The comparison goes field by field. A case listed in DIVERGENCES (each with a comment saying why)
// is left out, but only while it still differs: a listed case that agrees, or that is not in the
// corpus, fails the comparison so that the list can't go stale.
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "block_line.h"
#include "comm/posix/mode_string.h"

namespace {

using ostrabel1::comm::posix::DeviceControlBlock;

struct Case {
    int line_number;
    std::string written;  // as in the corpus file, quotes and escapes included
    std::string text;
};

bool read_corpus(const char* path, std::vector<Case>& cases) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::cerr << path << ": can't read\n";
        return false;
    }
    std::string line, text, error;
    for (int number = 1; std::getline(file, line); ++number) {
        if (block_line::decode(line, text, error)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            cases.push_back({number, line, text});
        } else if (!error.empty()) {
            std::cerr << path << ":" << number << ": " << error << "\n";
            return false;
        }
    }
    return true;
}

std::string our_line(const std::string& text) {
    DeviceControlBlock block{};
    const bool accepted = ostrabel1::comm::posix::parse_mode_string(text.c_str(), block);
    return block_line::format(block_line::fields_of(accepted, block));
}

std::map<std::string, std::string> fields_in(const std::string& line) {
    std::map<std::string, std::string> fields;
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
        const std::size_t equals = word.find('=');
        fields[word.substr(0, equals)] = equals == std::string::npos ? "" : word.substr(equals + 1);
    }
    return fields;
}

// "field: ours=X windows=Y" for each field that differs; empty when the lines agree.
std::string differences(const std::string& ours, const std::string& theirs) {
    const auto a = fields_in(ours);
    const auto b = fields_in(theirs);
    std::set<std::string> names;
    for (const auto& [name, value] : a) names.insert(name);
    for (const auto& [name, value] : b) names.insert(name);
    std::string out;
    for (const std::string& name : names) {
        const auto x = a.find(name);
        const auto y = b.find(name);
        const std::string mine = x == a.end() ? "(none)" : x->second;
        const std::string windows = y == b.end() ? "(none)" : y->second;
        if (mine != windows) out += "  " + name + ": ours=" + mine + " windows=" + windows + "\n";
    }
    return out;
}

// The listed cases; each must follow a comment that says why it differs.
bool read_divergences(const char* path, std::set<std::string>& listed) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::cerr << path << ": can't read\n";
        return false;
    }
    std::string line, text, error;
    bool explained = false;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '#') {
            explained = true;
            continue;
        }
        if (!block_line::decode(line, text, error)) {
            if (!error.empty()) {
                std::cerr << path << ":" << number << ": " << error << "\n";
                return false;
            }
            explained = false;  // a blank line ends a comment's reach
            continue;
        }
        if (!explained) {
            std::cerr << path << ":" << number << ": " << line << " has no comment saying why it differs\n";
            return false;
        }
        listed.insert(line);
    }
    return true;
}

int compare(const std::vector<Case>& cases, const char* windows_path, const char* divergences_path) {
    std::set<std::string> listed;
    if (!read_divergences(divergences_path, listed)) return 2;
    std::ifstream windows(windows_path, std::ios::binary);
    if (!windows) {
        std::cerr << windows_path << ": can't read\n";
        return 2;
    }
    int agree = 0, known = 0, failures = 0;
    std::set<std::string> seen;
    for (const Case& c : cases) {
        std::string theirs;
        if (!std::getline(windows, theirs)) {
            std::cerr << windows_path << ": ends before the corpus's line " << c.line_number << "\n";
            return 1;
        }
        if (!theirs.empty() && theirs.back() == '\r') theirs.pop_back();
        const std::string diff = differences(our_line(c.text), theirs);
        const bool is_listed = listed.count(c.written) != 0;
        seen.insert(c.written);
        if (diff.empty() && !is_listed) {
            ++agree;
        } else if (!diff.empty() && is_listed) {
            ++known;
        } else if (diff.empty()) {
            std::cerr << "corpus line " << c.line_number << " " << c.written
                      << " is listed as a divergence but agrees now: take it off the list\n";
            ++failures;
        } else {
            std::cerr << "corpus line " << c.line_number << " " << c.written << " differs:\n" << diff;
            ++failures;
        }
    }
    for (const std::string& entry : listed) {
        if (seen.count(entry) == 0) {
            std::cerr << "divergence " << entry << " is not in the corpus\n";
            ++failures;
        }
    }
    std::cout << cases.size() << " cases: " << agree << " agree, " << known << " known divergences, " << failures
              << " failures\n";
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::cerr << "usage: " << argv[0] << " CORPUS [WINDOWS_OUTPUT DIVERGENCES]\n";
        return 2;
    }
    std::vector<Case> cases;
    if (!read_corpus(argv[1], cases)) return 2;
    if (argc == 4) return compare(cases, argv[2], argv[3]);
    for (const Case& c : cases) std::cout << our_line(c.text) << "\n";
    return 0;
}
