# The two commands of the README. Both install missing Debian packages first.
.PHONY: run test build clean

run:
	./scripts/run.sh $(ARGS)

test:
	./scripts/test.sh

build:
	./scripts/install-deps.sh
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/release

clean:
	rm -rf build
