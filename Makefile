# The two commands of the README:
#   make run   install what is needed, build a release binary and start it
#   make test  install what is needed, build with sanitizers and run every test
.PHONY: run test deps

JOBS ?= $(shell nproc)

deps:
	./scripts/install-deps

run: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSVAR_TESTS=OFF
	cmake --build build/release -j $(JOBS)
	mkdir -p build/release/run
	cd build/release/run && ../tessvar

test: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSVAR_SANITIZE=ON
	cmake --build build/test -j $(JOBS)
	cd build/test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
