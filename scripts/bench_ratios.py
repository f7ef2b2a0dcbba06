"""Reads the JSON output of kx_bench and prints the ratios against the peers and the targets."""

import json
import sys

UNIT_IN_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
CURVES = ["teaching", "secp256r1", "secp384r1", "secp521r1"]
DIGITS = [64, 4096, 200000]


def medians(path):
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    result, errors = {}, {}
    for entry in report["benchmarks"]:
        name = entry.get("run_name", entry["name"])
        if entry.get("error_occurred"):
            errors[name] = entry.get("error_message", "error")
            continue
        if entry.get("run_type") == "aggregate" and entry.get("aggregate_name") != "median":
            continue
        result[name] = entry["cpu_time"] * UNIT_IN_NS[entry.get("time_unit", "ns")]
    return result, errors


def main():
    times, errors = medians(sys.argv[1])
    for name, message in sorted(errors.items()):
        print(f"ERROR {name}: {message}")
    verdicts = []

    def verdict(text, ok):
        verdicts.append(f"{'PASS' if ok else 'FAIL'}  {text}")

    print("\n== Scalar multiplication, median CPU time (us) and ratios")
    print(f"{'curve':<10} {'Multiply':>10} {'GmpAffine':>10} {'ratio':>6} "
          f"{'OpenSSL':>10} {'ratio':>6} {'UpdatePaPab':>12}")
    for curve in CURVES:
        ours = times.get(f"BM_Multiply/{curve}")
        gmp = times.get(f"BM_GmpAffine/{curve}")
        ssl = times.get(f"BM_OpenSslGeneric/{curve}")
        update = times.get(f"BM_UpdatePaPab/{curve}")
        if ours is None:
            continue

        def cell(value, width):
            return f"{value / 1e3:>{width}.1f}" if value is not None else f"{'-':>{width}}"

        def ratio(peer):
            return f"{ours / peer:>6.2f}" if peer else f"{'-':>6}"

        print(f"{curve:<10} {cell(ours, 10)} {cell(gmp, 10)} {ratio(gmp)} "
              f"{cell(ssl, 10)} {ratio(ssl)} {cell(update, 12)}")
        if gmp:
            verdict(f"BM_Multiply/{curve} <= 0.5 x BM_GmpAffine ({ours / gmp:.2f})",
                    ours <= 0.5 * gmp)
        if ssl and curve != "teaching":
            verdict(f"BM_Multiply/{curve} < 1.0 x BM_OpenSslGeneric ({ours / ssl:.2f})",
                    ours < ssl)
        if update is not None and curve == "secp521r1":
            verdict(f"BM_UpdatePaPab/{curve} < 3 ms ({update / 1e6:.2f} ms)", update < 3e6)

    print("\n== Hex text, median CPU time (us) and ns per digit")
    for kind in ["BM_FromHex", "BM_ToHex"]:
        row = [(d, times.get(f"{kind}/{d}")) for d in DIGITS]
        if all(t is None for _, t in row):
            continue
        print(f"{kind:<11} " + "  ".join(
            f"{d:>6}: {t / 1e3:9.2f} ({t / d:6.2f} ns/digit)" for d, t in row if t is not None))
        largest = times.get(f"{kind}/200000")
        middle = times.get(f"{kind}/4096")
        if largest is not None:
            verdict(f"{kind}/200000 < 5 ms ({largest / 1e6:.2f} ms)", largest < 5e6)
        if largest is not None and middle is not None:
            # Linear growth: the cost per digit may not rise by more than half between the sizes.
            growth = (largest / 200000) / (middle / 4096)
            verdict(f"{kind} linear: ns/digit at 200000 is {growth:.2f} x that at 4096",
                    growth <= 1.5)

    print("\n== Targets")
    for line in verdicts:
        print(line)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
