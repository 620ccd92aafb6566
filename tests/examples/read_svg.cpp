// Reads an SVG picture of the example program and checks that it is well
// formed, so the example tests can check what a picture holds without an XML
// library: one <svg> root, every tag closed in order, attributes written
// name="value", no text outside the tags, and every <path> with path data of
// the commands M, L (two numbers each), A (seven) and Z.  Prints
//   well formed: <n> input paths, <m> result paths, <a> result arcs
// counting the paths inside <g id="inputs"> and <g id="results"> and the arc
// commands of the results.  Exit status 0 when well formed, else 1 with the
// fault on stderr.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Fault {
    std::string text;
};

struct Tag {
    std::string name;
    std::map<std::string, std::string> attributes;
    bool closing = false;      // </name>
    bool self_closing = false; // <name ... />
};

// Parses the inside of one tag (between '<' and '>').
Tag parse_tag(const std::string& body) {
    Tag tag;
    size_t i = 0;
    if (i < body.size() && body[i] == '/') tag.closing = true, ++i;
    const size_t name_start = i;
    while (i < body.size() && (std::isalnum(static_cast<unsigned char>(body[i])) || body[i] == '-' || body[i] == ':'))
        ++i;
    tag.name = body.substr(name_start, i - name_start);
    if (tag.name.empty()) throw Fault{"a tag without a name: <" + body + ">"};
    for (;;) {
        while (i < body.size() && std::isspace(static_cast<unsigned char>(body[i]))) ++i;
        if (i == body.size()) break;
        if (body[i] == '/' && i + 1 == body.size() && !tag.closing) {
            tag.self_closing = true;
            break;
        }
        if (tag.closing) throw Fault{"a closing tag with attributes: <" + body + ">"};
        const size_t key_start = i;
        while (i < body.size() && body[i] != '=' && !std::isspace(static_cast<unsigned char>(body[i]))) ++i;
        const std::string key = body.substr(key_start, i - key_start);
        if (key.empty() || i + 1 >= body.size() || body[i] != '=' || body[i + 1] != '"')
            throw Fault{"an attribute not written name=\"value\" in <" + body + ">"};
        const size_t value_end = body.find('"', i + 2);
        if (value_end == std::string::npos) throw Fault{"an unclosed attribute value in <" + body + ">"};
        if (!tag.attributes.emplace(key, body.substr(i + 2, value_end - i - 2)).second)
            throw Fault{"attribute " + key + " twice in <" + body + ">"};
        i = value_end + 1;
        if (i < body.size() && !std::isspace(static_cast<unsigned char>(body[i])) && body[i] != '/')
            throw Fault{"attributes without a space between them in <" + body + ">"};
    }
    return tag;
}

// Checks the path data and counts its arc commands.
int check_path_data(const std::string& d) {
    std::istringstream in(d);
    std::string word;
    int arcs = 0;
    bool started = false;
    while (in >> word) {
        int numbers = 0;
        if (word == "M") numbers = 2, started = true;
        else if (word == "L") numbers = 2;
        else if (word == "A") numbers = 7, ++arcs;
        else if (word == "Z") numbers = 0;
        else throw Fault{"unknown path command '" + word + "' in d=\"" + d + "\""};
        if (!started) throw Fault{"path data not starting with M: d=\"" + d + "\""};
        for (int k = 0; k < numbers; ++k) {
            std::string number;
            char* end = nullptr;
            if (!(in >> number) || (std::strtod(number.c_str(), &end), *end != '\0'))
                throw Fault{"command " + word + " without its " + std::to_string(numbers) + " numbers in d=\"" + d +
                            "\""};
        }
    }
    if (!started) throw Fault{"empty path data"};
    return arcs;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: read_svg <picture.svg>\n", stderr);
        return 2;
    }
    std::ifstream file(argv[1]);
    if (!file) {
        std::fprintf(stderr, "read_svg: cannot open '%s'\n", argv[1]);
        return 1;
    }
    std::stringstream buffer;
    buffer << file.rdbuf();
    const std::string text = buffer.str();
    try {
        std::vector<Tag> open;  // the element path from the root
        int roots = 0, inputs = 0, results = 0, arcs = 0;
        size_t i = 0;
        if (text.compare(0, 5, "<?xml") == 0) {
            i = text.find("?>");
            if (i == std::string::npos) throw Fault{"an unclosed XML declaration"};
            i += 2;
        }
        while (i < text.size()) {
            const size_t lt = text.find('<', i);
            const std::string between = text.substr(i, lt == std::string::npos ? std::string::npos : lt - i);
            for (char c : between)
                if (!std::isspace(static_cast<unsigned char>(c))) throw Fault{"text outside the tags: " + between};
            if (lt == std::string::npos) break;
            size_t gt = lt + 1;
            bool quoted = false;
            while (gt < text.size() && (quoted || text[gt] != '>')) {
                if (text[gt] == '<' && !quoted) throw Fault{"'<' inside a tag"};
                if (text[gt] == '"') quoted = !quoted;
                ++gt;
            }
            if (gt == text.size()) throw Fault{"a tag without its '>'"};
            const Tag tag = parse_tag(text.substr(lt + 1, gt - lt - 1));
            i = gt + 1;
            if (tag.closing) {
                if (open.empty() || open.back().name != tag.name)
                    throw Fault{"</" + tag.name + "> closes " + (open.empty() ? "nothing" : "<" + open.back().name + ">")};
                open.pop_back();
                continue;
            }
            if (open.empty()) {
                if (++roots > 1 || tag.name != "svg") throw Fault{"a root element other than the one <svg>"};
            }
            if (tag.name == "path") {
                const auto d = tag.attributes.find("d");
                if (d == tag.attributes.end()) throw Fault{"a <path> without d"};
                const int path_arcs = check_path_data(d->second);
                std::string group;
                for (const Tag& t : open) {
                    const auto id = t.attributes.find("id");
                    if (t.name == "g" && id != t.attributes.end()) group = id->second;
                }
                if (group == "inputs") ++inputs;
                if (group == "results") ++results, arcs += path_arcs;
            }
            if (!tag.self_closing) open.push_back(tag);
        }
        if (!open.empty()) throw Fault{"<" + open.back().name + "> is never closed"};
        if (roots == 0) throw Fault{"no <svg> element"};
        std::printf("well formed: %d input paths, %d result paths, %d result arcs\n", inputs, results, arcs);
        return 0;
    } catch (const Fault& f) {
        std::fprintf(stderr, "read_svg: '%s' is not well formed: %s\n", argv[1], f.text.c_str());
        return 1;
    }
}
