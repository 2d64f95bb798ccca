#include "core/environment_rules.h"

std::optional<size_t> keptLength(uint32_t reported, size_t capacity, TooLong rule) {
    if (reported == 0 || capacity == 0) return std::nullopt;
    if (reported < capacity) return reported;
    if (rule == TooLong::Refuse) return std::nullopt;
    return capacity - 1;
}

VariableRead judgeVariableRead(uint32_t offered, uint32_t returned, bool notFound) {
    if (returned == 0 && notFound) return VariableRead::Vanished;
    if (returned < offered) return VariableRead::Whole;
    return VariableRead::Grew;
}
