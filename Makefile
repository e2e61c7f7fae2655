# The two commands of the README, for those who have make. Both install
# missing Debian packages first.
.PHONY: run test build clean

run:
	bash scripts/run.sh $(ARGS)

test:
	bash scripts/test.sh

# The programs only, as scripts/run.sh builds them, without starting one.
build:
	ZUCAM_BUILD_ONLY=1 bash scripts/run.sh

clean:
	rm -rf build
