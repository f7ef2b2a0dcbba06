\\ Writes eve_curves.txt: curves y^2 = x^3 + A x + B modulo a prime q with a point P whose order
\\ is of a given kind, for the eavesdropper's tests and benchmarks. Run from this folder:
\\   gp -q eve_curves.gp > eve_curves.txt
\\ Each line: kind q A B Px Py ord(P) and ord(P)'s primes as p^e joined by "*", all in hex.
default(parisize, 10^8);
setrand(20250425);

hex(n) = Strprintf("%X", n);
factorText(n) = {
  my(f = factor(n), s = "");
  for (i = 1, #f~,
    s = concat(s, concat(if (i > 1, "*", ""),
                         concat(hex(f[i, 1]), if (f[i, 2] > 1, Str("^", f[i, 2]), "")))));
  s
};
show(kind, q, E, P) = {
  my(o = ellorder(E, P));
  printf("%s %X %X %X %X %X %X %s\n", kind, q, lift(E.a4), lift(E.a6), lift(P[1]), lift(P[2]),
         o, factorText(o));
};
\\ A random prime of the given bits, and a random non-singular curve modulo q.
randomPrime(bits) = nextprime(2^(bits - 1) + random(2^(bits - 1)));
curve(q) = {
  my(A, B);
  until (Mod(4 * A^3 + 27 * B^2, q) != 0, A = random(q); B = random(q));
  ellinit([A, B], q)
};
\\ A point of order exactly n, for n dividing the group's exponent.
ofOrder(E, n) = {
  my(P);
  while (1, P = ellmul(E, random(E), ellgroup(E)[1] / n); if (ellorder(E, P) == n, return(P)))
};
\\ A curve modulo a random prime of the given bits whose group exponent passes the test.
search(bits, test) = {
  my(E);
  while (1, E = curve(randomPrime(bits)); if (test(ellgroup(E)[1]), return(E)))
};
\\ The largest prime p with p^3 dividing n, or 0.
cubed(n) = {
  my(f = factor(n), best = 0);
  for (i = 1, #f~, if (f[i, 2] >= 3, best = f[i, 1]));
  best
};

\\ The built-in test values, whose group order the tests quote.
q = 0x725F8E91CC4087;
E = ellinit([0x3B5AF16DF11649, 0x40B77BE2CBBEDC], q);
show("testvalues", q, E, [0x6C4AE1678418BE, 0x10695272AE2CD6]);

E = search(34, n -> isprime(n));
show("prime", E.p, E, random(E));
E = search(34, n -> cubed(n) >= 50);
show("primepower", E.p, E, ofOrder(E, cubed(ellgroup(E)[1])^3));
E = search(40, n -> vecmax(factor(n)[, 1]) < 2^12);
show("smooth", E.p, E, ofOrder(E, ellgroup(E)[1]));
E = search(34, n -> n % 2 == 0 && isprime(n / 2));
show("twoprime", E.p, E, ofOrder(E, ellgroup(E)[1]));
E = search(40, n -> n % 7 == 0);
show("smallorder", E.p, E, ofOrder(E, 7));
\\ Points of prime order about 2^48 and 2^56, for the benchmarks' targets.
E = search(48, n -> isprime(n));
show("prime48", E.p, E, random(E));
E = search(56, n -> isprime(n));
show("prime56", E.p, E, random(E));
\\ q just above 2^80, where the order is not sought.
q = nextprime(2^80);
E = curve(q);
show("beyond", q, E, random(E));
\\ Small curves whose p-torsion has two generators (the group holds Z/p x Z/p), for p from 5 to
\\ 13, with a point of order p: not every point of order p is one of its multiples.
{
  forprime (p = 5, 13,
    my(found = 0);
    forprime (q = 2 * p, 2000,
      if (found || q % p != 1, next);
      for (k = 1, 400,
        E = curve(q);
        my(g = ellgroup(E));
        if (#g == 2 && g[2] % p == 0,
          show(Str("torsion", p), q, E, ofOrder(E, p));
          found = 1;
          break))))
}
\\ q of 65 bits, two words of the field, with a smooth order.
E = search(65, n -> vecmax(factor(n)[, 1]) < 2^28);
show("twowords", E.p, E, ofOrder(E, ellgroup(E)[1]));
\\ q just below 2^80, where the order is still sought, with a point of order 7.
q = precprime(2^80);
E = curve(q);
while (ellcard(E) % 7, E = curve(q));
show("below80", q, E, ofOrder(E, 7));
