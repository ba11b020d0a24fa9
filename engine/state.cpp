#include "engine/state.h"

#include "engine/globals.h"

namespace talvo {

state* current = nullptr;
void (*setviewport)(int width, int height) = nullptr;

void statelist::clear() {
    for (auto& child : children) child.reset();
    children.clear();
}

void statelist::display() {
    for (const auto& child : children) child->display();
}

void statelist::update() {
    for (const auto& child : children) child->update();
}

bool statelist::sync() {
    bool result = false;
    for (const auto& child : children) result = child->sync() || result;
    return result;
}

void statelist::resize(int width, int height) {
    for (const auto& child : children) child->resize(width, height);
}

void statelist::enter(state* previous) {
    for (const auto& child : children) child->enter(previous);
}

void statelist::leave(state* next) {
    for (const auto& child : children) child->leave(next);
}

void setcurrent(state* next) {
    state* previous = current;
    if (previous) previous->leave(next);
    current = next;
    if (next) {
        onresize(windowwidth, windowheight);
        next->enter(previous);
    }
}

void onresize(int width, int height) {
    if (setviewport) setviewport(width, height);
    windowwidth = width;
    windowheight = height;
    if (current) current->resize(width, height);
}

}  // namespace talvo
