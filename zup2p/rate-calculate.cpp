#include "zup2p/rate-calculate.h"

#include "zup2p/rate-calculate-private.h"

namespace bg {

RateCalculate::RateCalculate() : d(new RateCalculatePrivate()) {}

RateCalculate::~RateCalculate() {
    delete d;
}

void RateCalculate::update(int64_t amount) {
    d->update(amount);
}

int64_t RateCalculate::current_rate() {
    return d->current_rate();
}

void RateCalculate::reset() {
    d->reset();
}

}  // namespace bg
