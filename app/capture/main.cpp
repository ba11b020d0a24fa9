// quellspire-capture: the production rendered on a virtual clock to PNG files or a video.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

#include "app/capture/capture.h"
#include "app/capture/framepattern.h"
#include "app/capture/framesink.h"
#include "app/capture/options.h"
#include "app/capture/outputfile.h"
#include "app/capture/runend.h"
#include "app/filesizelimit.h"
#include "app/standardstreams.h"
#include "app/version.h"
#include "diag/fatal.h"

namespace {

// The join is quellspire-join's job, a program beside this one; `quellspire-capture --join`,
// which `tools/capture.sh --join` runs, hands it the same arguments, --join in full.
int handtojoin(char* argv[]) {
    std::error_code error;
    const std::string join =
        (std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "quellspire-join").string();
    argv[1] = const_cast<char*>("--join");
    execv(join.c_str(), argv);
    return talvo::capture::failure("cannot start " + join + ": " + std::strerror(errno));
}

// Standard output without the engine's "file … loaded" lines, about a hundred per production
// built, which say nothing beside the progress line.
class withoutloadedfiles : public std::streambuf {
public:
    // Stands between standard output and its buffer while it lives.
    withoutloadedfiles() : out(std::cout.rdbuf()) { std::cout.rdbuf(this); }
    ~withoutloadedfiles() override {
        std::cout.flush();
        out->sputn(line.data(), std::streamsize(line.size()));
        std::cout.rdbuf(out);
    }
    withoutloadedfiles(const withoutloadedfiles&) = delete;
    withoutloadedfiles& operator=(const withoutloadedfiles&) = delete;

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return 0;
        std::lock_guard<std::mutex> guard(lock);
        line += char(c);
        if (c == '\n') {
            if (line.rfind("file ", 0) != 0 || line.size() < 13 || line.compare(line.size() - 8, 8, " loaded\n") != 0)
                out->sputn(line.data(), std::streamsize(line.size()));
            line.clear();
        }
        return c;
    }
    int sync() override {
        std::lock_guard<std::mutex> guard(lock);
        // A part line is passed on unless it may still become such a line.
        if (!line.empty() && line.rfind("file ", 0) != 0) {
            out->sputn(line.data(), std::streamsize(line.size()));
            line.clear();
        }
        return out->pubsync();
    }

private:
    std::streambuf* out;
    std::mutex lock;
    std::string line;
};

// The output's own directory, where a run removes what runs before it left.
std::string outputdirectory(const talvo::capture::captureoptions& options) {
    using namespace talvo::capture;
    const std::string file = options.kind == outputkind::png ? framepattern::parse(options.output)->path(0) : options.output;
    return std::filesystem::path(file).parent_path().string();
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace talvo::capture;
    talvo::openstandardstreams();
    if (talvo::answersversion(argc, argv, "quellspire-capture")) return 0;
    try {
        catchstops();
    } catch (const capturefailure& e) {
        return failure(e.what());
    }
    captureoptions options;
    try {
        options = parseoptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const badoption& e) {
        return failure(std::string(e.what()) + "\nTry 'quellspire-capture --help'.", 2);
    }
    if (options.help) {
        std::cout << helptext;
        return 0;
    }
    if (options.version) {
        std::cout << "quellspire-capture " << QUELLSPIRE_VERSION << std::endl;
        return 0;
    }
    if (options.join) return handtojoin(argv);
    if (std::string refusal = talvo::filesizerefusal(); !refusal.empty()) return failure(refusal, 2);
    if (options.dryrun) return 0;
    for (const std::string& removed : removeleftovers(outputdirectory(options)))
        std::cerr << programname() << ": removed " << removed << ", left unfinished by a run that has ended" << std::endl;
    std::optional<withoutloadedfiles> quiet;
    if (!options.verbose) quiet.emplace();
    int status = 1;
    talvo::endonfatal([&] { status = runcapture(options); });
    return status;
}
