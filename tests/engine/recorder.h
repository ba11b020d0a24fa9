#pragma once
// A state that writes every call it receives into a shared log, and a fixture that puts the
// engine globals back to a known start for every test.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/globals.h"
#include "engine/state.h"

using calllog = std::vector<std::string>;

class recorder : public talvo::state {
public:
    recorder(std::string name, calllog& log, bool answer = true)
        : name(std::move(name)), log(log), answer(answer) {}
    ~recorder() override { log.push_back(name + ".delete"); }

    void display() override { log.push_back(name + ".display"); }
    void update() override { log.push_back(name + ".update"); }
    bool sync() override {
        log.push_back(name + ".sync");
        return answer;
    }
    void resize(int width, int height) override {
        log.push_back(name + ".resize(" + std::to_string(width) + "," + std::to_string(height) + ")");
    }
    void enter(talvo::state* previous) override {
        log.push_back(name + ".enter(" + nameof(previous) + ")");
    }
    void leave(talvo::state* next) override { log.push_back(name + ".leave(" + nameof(next) + ")"); }

    static std::string nameof(talvo::state* s) {
        if (!s) return "null";
        auto* r = dynamic_cast<recorder*>(s);
        return r ? r->name : "?";
    }

    std::string name;
    calllog& log;
    bool answer;
};

class enginetest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset() {
        talvo::starttime = talvo::frametime = talvo::updatetime = talvo::prevupdatetime = 0;
        talvo::windowwidth = talvo::windowheight = 0;
        talvo::current = nullptr;
        talvo::setviewport = nullptr;
        talvo::quit = false;
    }
    // Moves the production time to ms.
    static void at(uint32_t ms) { talvo::updatetime = talvo::starttime + ms; }
};
