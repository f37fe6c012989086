# Entry points; see README.md.
JOBS ?= $(shell nproc)
CHECK_DIR ?= build/check
BENCH_DIR ?= build/bench
RUN_DIR ?= build/run
RUN_CUSTOMERS ?= 20000

.PHONY: check deps bench run explorer clean

deps:
	tools/install-deps

# The test configuration: every test under AddressSanitizer and
# UndefinedBehaviorSanitizer.
check: deps
	cmake -S . -B $(CHECK_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DFYNDRA_SANITIZE=ON -DFYNDRA_BUILD_TESTS=ON
	cmake --build $(CHECK_DIR) -j $(JOBS)
	ctest --test-dir $(CHECK_DIR) --output-on-failure -j $(JOBS)

# Optimised benchmarks, each reported next to its baseline from the same run.
bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DFYNDRA_BUILD_TESTS=OFF -DFYNDRA_BUILD_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	for b in $(BENCH_DIR)/bench/*_bench; do [ -x "$$b" ] && "$$b" || exit 1; done

# The main job: an optimised build of the fyndra command, the sample SQLite
# database and its client dataset file generated once (each written under a
# temporary name, then moved into place; the example forms name them), and a
# scripted session of the command over the example forms.
run: deps
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DFYNDRA_BUILD_TESTS=OFF -DFYNDRA_BUILD_BENCH=OFF -DFYNDRA_SANITIZE=OFF
	cmake --build $(RUN_DIR) -j $(JOBS) --target fyndra-cli fyndra-gensample
	[ -f $(RUN_DIR)/sample.db ] && [ -f $(RUN_DIR)/customers.cds ] || \
	  $(RUN_DIR)/tools/fyndra-gensample --customers $(RUN_CUSTOMERS) --client $(RUN_DIR)/customers.cds \
	  $(RUN_DIR)/sample.db
	examples/session $(RUN_DIR)/tools/fyndra

# The main job in a window: the Qt explorer opens an example query form
# (EXPLORER_FORM: the find window by default) over the sample database.
# Without a display it runs on Qt's offscreen platform, types a name as a user
# would into the find window and the filter window and writes a screenshot of
# each.
EXPLORER_FORM ?= examples/forms/customers-window.dfm
explorer: deps
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DFYNDRA_BUILD_TESTS=OFF -DFYNDRA_BUILD_BENCH=OFF -DFYNDRA_SANITIZE=OFF
	cmake --build $(RUN_DIR) -j $(JOBS) --target fyndra-explorer fyndra-gensample
	[ -f $(RUN_DIR)/sample.db ] || $(RUN_DIR)/tools/fyndra-gensample --customers $(RUN_CUSTOMERS) $(RUN_DIR)/sample.db
	if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(RUN_DIR)/examples/fyndra-explorer --db $(RUN_DIR)/sample.db --form $(EXPLORER_FORM); \
	else \
	  $(RUN_DIR)/examples/fyndra-explorer --db $(RUN_DIR)/sample.db --type "Ma" --screenshot $(RUN_DIR)/explorer.png && \
	  $(RUN_DIR)/examples/fyndra-explorer --db $(RUN_DIR)/sample.db --form examples/forms/customers-filter-window.dfm \
	    --type "Ma" --screenshot $(RUN_DIR)/explorer-filter.png; \
	fi

clean:
	rm -rf build
