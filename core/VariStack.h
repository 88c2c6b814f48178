#pragma once
// A small stack of values (numbers or texts) that the readings merge and the report options use to hold the
// record numbers still to be handled.
#include <QString>

#include <cstdint>
#include <variant>
#include <vector>

// One value held by a VariStack: nothing, a number or a text.
using VariValue = std::variant<std::monostate, double, QString>;

class VariStack {
public:
    VariStack();
    ~VariStack();

    int16_t Count = 0;

    void Push(const VariValue& value);
    // The top value; the empty text when the stack is empty.
    VariValue Pop();
    void Clean();
    bool IsEmpty() const;
    // True when one of the values held equals value: numbers by value, texts exactly.
    bool IsMatch(const VariValue& value) const;

private:
    std::vector<VariValue> values_; // place 0 holds nothing
};

// A value as a whole number (texts by their leading number), for callers that push record numbers.
long VariNumber(const VariValue& value);
