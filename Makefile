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

# The tests of threads run once more in a tree built with ThreadSanitizer,
# which AddressSanitizer's tree cannot hold; only that program is built there.
test: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSVAR_SANITIZE=ON
	cmake --build build/test -j $(JOBS)
	cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSVAR_THREAD_SANITIZE=ON
	cmake --build build/tsan -j $(JOBS) --target os_thread_tests
	cd build/test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	cd build/tsan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -R '^os_thread_tests$$'
