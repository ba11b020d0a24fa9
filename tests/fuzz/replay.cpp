// Replays a corpus through a fuzz harness without libFuzzer: each file named on the command
// line, or each file in a directory named there, is one input. A harness ends the process on
// a fault it finds, so the test that runs this fails on the input that shows it.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char* argv[]) {
    namespace fs = std::filesystem;
    std::set<fs::path> inputs;  // in order, so that a run is repeatable
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i]))
            for (const fs::directory_entry& entry : fs::directory_iterator(argv[i])) inputs.insert(entry.path());
        else
            inputs.insert(argv[i]);
    }
    if (inputs.empty()) {
        std::cerr << "replay: no inputs in";
        for (int i = 1; i < argc; ++i) std::cerr << " " << argv[i];
        std::cerr << std::endl;
        return 2;
    }
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::cerr << "replay: cannot read " << input.string() << std::endl;
            return 2;
        }
        const std::vector<char> data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        std::cerr << "replaying " << input.string() << std::endl;
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    }
    std::cout << "replayed " << inputs.size() << " inputs" << std::endl;
    return 0;
}
