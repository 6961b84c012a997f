// The numeric routines on hand-worked values, records and failures the module never passes.
#include <cfenv>
#include <cstring>
#include <random>

#include "numeric/eigen_condition.h"
#include "numeric/hessenberg_qr.h"
#include "numeric/matrix_inversion.h"
#include "numeric/nonlinear_least_squares.h"
#include "numeric/polynomial_roots.h"
#include "test_support.h"

using namespace tallowfit;

namespace {

constexpr double kSentinel = -777.0;

struct Roots { int32_t status; Values re, im; };  // one slot more than the coefficients, sentinel where unwritten
Roots findRoots(const Values& c, int32_t count = -1) {
    Roots r{0, Values(c.size() + 1, kSentinel), Values(c.size() + 1, kSentinel)};
    r.status = computePolynomialRoots(c.data(), count < 0 ? int32_t(c.size()) : count, r.re.data(), r.im.data());
    return r;
}

// Hand-derived from the deflation formulas (p = 0 takes the negative sign);
// nothing is written past the roots. NaN never passes the negligibility test:
// nothing deflates, all entries 0. Refusals leave the outputs untouched.
TEST(PolynomialRoots, RootsInDeflationOrderAndRefusals) {
    const struct { Values coefficients; int32_t status; Values re, im; } cases[] = {
        {{5.0}, kStatusOk, {}, {}}, {{1, 2}, kStatusOk, {-0.5}, {0}}, {{2, -3, 1}, kStatusOk, {2, 1}, {0, 0}},
        {{-1, 0, 1}, kStatusOk, {-1, 1}, {0, 0}}, {{1, 0, 1}, kStatusOk, {0, 0}, {-1, 1}},
        {{0, 0, 1}, kStatusOk, {0, 0}, {0, 0}}, {{1, NAN, 1, 1}, kStatusNoConvergence, Values(4, 0.0), Values(4, 0.0)}};
    for (const auto& c : cases) {
        const Roots r = findRoots(c.coefficients);
        EXPECT_TRUE(r.status == c.status && Values(r.re.begin(), r.re.begin() + c.re.size()) == c.re &&
                    Values(r.im.begin(), r.im.begin() + c.im.size()) == c.im && r.re[c.re.size()] == kSentinel)
            << c.coefficients.size();
    }
    const struct { Values c; int32_t count, status; } refusals[] = {  // 26 coefficients are too many
        {{1}, 0, kStatusOutOfMemory}, {Values(26, 1.0), 26, kStatusInvalidArgument},
        {{1, 2, 0.0}, 3, kStatusInvalidArgument}, {{1, 2, -0.0}, 3, kStatusInvalidArgument}};
    for (const auto& c : refusals) {
        const Roots r = findRoots(c.c, c.count);
        EXPECT_TRUE(r.status == c.status && r.re == Values(c.c.size() + 1, kSentinel) && r.im == r.re) << c.count;
    }
    // Success leaves no accrued floating-point flag behind.
    std::feraiseexcept(FE_INEXACT | FE_UNDERFLOW);
    EXPECT_TRUE(findRoots({-6, 11, -6, 1}).status == kStatusOk && std::fetestexcept(FE_ALL_EXCEPT) == 0);
    // Nonzeros only where i + j is odd: the eigenvalues pair up about 0 and
    // the shifts, the exceptional ones included, cycle without deflating.
    Held h({{0, 90, 0, 300}, {-4e9, 0, -300, 0}, {0, -300, 0, 4e9}, {0, 0, -90, 0}});
    double re[4], im[4];
    EXPECT_EQ(hessenbergQrEigenvalues(h.matrix(), 4, re, im), kStatusNoConvergence);
}

struct Condition { int32_t status; double figure; Values eigenvalues; };  // the input stays as it was, bit for bit
Condition estimate(const Rows& m, int32_t symmetric) {
    Held a(m);
    const int n = static_cast<int>(m.size());
    Condition c{0, kSentinel, Values(n, kSentinel)};
    c.status = computeEigenvalueCondition(a.matrix(), c.eigenvalues.data(), n, &c.figure, symmetric);
    for (int i = 0; i < n; ++i) EXPECT_EQ(std::memcmp(a.rows[i].data(), m[i].data(), n * sizeof(double)), 0) << i;
    return c;
}

// Empty eigenvalues: not checked. A NaN coupling never becomes negligible: the
// figure stays unwritten, and for the general method the eigenvalues too.
TEST(EigenCondition, ExactFiguresEigenvaluesAndNoConvergence) {
    const Rows withNan = {{1, NAN, 0}, {NAN, 1, 2}, {0, 2, 1}};
    const struct { Rows matrix; int32_t symmetric, status; double figure; Values eigenvalues; } cases[] = {
        {{{2, 1}, {1, 2}}, 1, kStatusOk, 0.4771212547196624, {3, 1.0000000000000002}},
        {{{2, 1}, {1, 2}}, 0, kStatusOk, 0.47712125471966244, {1, 3}},
        {{{1, 2}, {2, 4}}, 1, kStatusOk, 1e10, {}}, {{{1, 0}, {0, 1e-20}}, 1, kStatusOk, 20, {}},
        {{{0, 1}, {-1, 0}}, 0, kStatusOk, 0, {1, 1}}, {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 1, kStatusOk, 0, {1, 1, 1}},
        {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}, 0, kStatusOk, 0, {}}, {{{0}}, 1, kStatusOk, 1e10, {}},
        {{{-2.5}}, 1, kStatusOk, 0, {-2.5}}, {{{-2.5}}, 0, kStatusOk, 0, {2.5}}, {{{0}}, 0, kStatusOk, 1e10, {}},
        {withNan, 1, kStatusNoConvergence, kSentinel, {}}, {withNan, 0, kStatusNoConvergence, kSentinel, Values(3, kSentinel)}};
    for (const auto& e : cases) {
        const Condition c = estimate(e.matrix, e.symmetric);
        EXPECT_TRUE(c.status == e.status && c.figure == e.figure && (e.eigenvalues.empty() || c.eigenvalues == e.eigenvalues))
            << e.figure;
    }
    // On random symmetric matrices both methods agree; eigenvalues sum to the trace.
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> element(-1.0, 1.0);
    for (int trial = 0, n = 2; trial < 200; ++trial, n = 2 + trial % 8) {
        Rows m(n, Values(n));
        double trace = 0.0, sum = 0.0;
        for (int i = 0; i < n; trace += m[i][i], ++i)
            for (int j = 0; j <= i; ++j) m[i][j] = m[j][i] = element(gen);
        const Condition symmetric = estimate(m, 1), general = estimate(m, 0);
        for (double v : symmetric.eigenvalues) sum += v;
        EXPECT_TRUE(symmetric.status == kStatusOk && general.status == kStatusOk && std::abs(sum - trace) < 1e-12 * n &&
                    std::abs(symmetric.figure - general.figure) < 1e-10) << trial;
    }
}

typedef int32_t (*Inversion)(RowMatrix, int, RowMatrix, int);
int32_t invert(Inversion inversion, Held& a, Held& b) {
    const int columns = b.rows.empty() ? 0 : static_cast<int>(b.rows[0].size());
    return inversion(a.matrix(), static_cast<int>(a.rows.size()), b.matrix(), columns);
}
const Rows kInverseOf2112 = {{2.0 / 3, -1.0 / 3}, {-1.0 / 3, 2.0 / 3}};

// Every operation rounded: [[2,1],[1,2]] pivots on the last of equal
// magnitudes, then 1.5. [[1,3],[3,3]]: (1,1) is 1.0/3 - 0.5, not the double
// nearest -1/6 a strictly-greater tie rule gives. The cycle needs two column
// exchanges that do not commute. Empty b: only a is inverted.
TEST(InvertMatrix, ExactInversesSolutionsAndRefusals) {
    const struct { Rows a, b, inverse, solution; int32_t status; } cases[] = {
        {{{2, 1}, {1, 2}}, {{3}, {3}}, kInverseOf2112, {{1}, {1}}, kStatusOk},
        {{{1, 3}, {3, 3}}, {{1}, {0}}, {{-0.5, 0.5}, {0.5, 1.0 / 3 - 0.5}}, {{-0.5}, {0.5}}, kStatusOk},
        {{{0, 1}, {1, 0}}, {{5, 6}, {7, 8}}, {{0, 1}, {1, 0}}, {{7, 8}, {5, 6}}, kStatusOk},
        {{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{1}, {2}, {3}}, {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{3}, {1}, {2}}, 0},
        {{{2, 1}, {1, 2}}, {}, kInverseOf2112, {}, kStatusOk}, {{}, {}, {}, {}, kStatusOk},
        {{{0}}, {}, {}, {}, kStatusIllConditioned}, {{{1, 2}, {2, 4}}, {}, {}, {}, kStatusIllConditioned},
        {{{1, 2, 3}, {0, 0, 0}, {4, 5, 6}}, {}, {}, {}, kStatusIllConditioned},
        {{{NAN, NAN}, {NAN, NAN}}, {}, {}, {}, kStatusIllConditioned}};
    for (Inversion inversion : {invertMatrix, invertMatrixChecked})
        for (const auto& e : cases) {
            Held a(e.a), b(e.b);
            ASSERT_EQ(invert(inversion, a, b), e.status) << e.a.size();
            EXPECT_TRUE(allocationsOutstanding() == 0 &&
                        (e.status != kStatusOk || (a.rows == e.inverse && b.rows == e.solution))) << e.a.size();
        }
}

// Eigenvalue ratios 1e17 and 2 : 0 ([[1,4],[1/4,1]]) are refused before a or b
// is touched; 5e15 passes. [[1,1e17],[0,1]] (eigenvalues 1, 1, norm product
// near 1e34) is refused by the norm test once the eigenvalue routine fails.
// [[1,inf],[inf,1]] defeats the QL iteration; its inverse is the pivots'
// reciprocals, 0, and the NaN norm product never reaches the limit.
TEST(InvertMatrixChecked, EigenvalueFigureThenNormTest) {
    const struct { Rows a; long failing; int32_t status; Rows after; } cases[] = {
        {{{1, 0}, {0, 1e-17}}, 0, kStatusIllConditioned, {{1, 0}, {0, 1e-17}}},
        {{{1, 4}, {0.25, 1}}, 0, kStatusIllConditioned, {{1, 4}, {0.25, 1}}},
        {{{1, 0}, {0, 2e-16}}, 0, kStatusOk, {{1, 0}, {0, 1 / 2e-16}}}, {{{1, 1e17}, {0, 1}}, 0, kStatusOk, {{1, -1e17}, {0, 1}}},
        {{{1, 1e17}, {0, 1}}, 2, kStatusIllConditioned, {{1, -1e17}, {0, 1}}},  // eigen routine's first
        {{{1, INFINITY}, {INFINITY, 1}}, 0, kStatusOk, {{0, 0}, {0, 0}}}};
    for (const auto& c : cases) {
        Held a(c.a), b({{1}, {1}});
        failAllocationAt(c.failing);
        EXPECT_EQ(invert(invertMatrixChecked, a, b), c.status) << c.a[0][1];
        failAllocationAt(0);
        EXPECT_TRUE(a.rows == c.after && (c.status == kStatusOk || c.failing || b.rows == Rows({{1}, {1}}))) << c.a[0][1];
    }
}

// The polynomial model failing at x = failX, in every pass or only the value-only one.
double failX = NAN;
bool failOnlyForValues = false;
int32_t failing(double x, const ModelEvaluation* e, double* y) {
    return x == failX && !(failOnlyForValues && e->derivatives) ? kStatusNoConvergence : polynomialModel(x, e, y);
}
int32_t linear(FitRecords& f, ModelFunction model = polynomialModel, int check = 0) {
    return fitLinear(&f.data, &f.parameters, &f.solution, model, check);
}

// Worked by hand on x = 1, 2, 3. Both coefficients on y = 1 + 2x: the line and
// the inverse of [[3, 6], [6, 14]]. Slope alone with c0 held at 5 fits
// y - 5 = (-2, 0, 2): 4/14 = 2/7, variance 1/14, residuals -16/7, -4/7, 8/7
// squared 48/7. Nothing adjusted on y = 1 + x: residuals 1, 2, 3 give 14, over
// 2^2 each 3.5. Zero uncertainties weigh 1 and leave both sums exactly 0.
TEST(FitLinear, WorkedFits) {
    const Rows line = {{7.0 / 3, -1}, {-1, 0.5}}, none = {{0, 0}, {0, 0}};
    const struct { Values y, yUnc, start; Mask mask; Values values; Rows covariance; double chi, sumSquares; } cases[] = {
        {{3, 5, 7}, {1, 1, 1}, {0, 0}, {1, 1}, {1, 2}, line, 0, 0},
        {{3, 5, 7}, {1, 1, 1}, {5, 0}, {0, 1}, {5, 2.0 / 7}, {{0, 0}, {0, 1.0 / 14}}, 48.0 / 7, 48.0 / 7},
        {{3, 5, 7}, {1, 1, 1}, {1, 1}, {0, 0}, {1, 1}, none, 14, 14}, {{3, 5, 7}, {2, 2, 2}, {1, 1}, {0, 0}, {1, 1}, none, 3.5, 14},
        {{3, 6, 7}, {0, 0, 0}, {0, 0}, {1, 1}, {4.0 / 3, 2}, line, 0, 0}};
    for (int check : {0, 1})
        for (const auto& c : cases) {
            FitRecords f({1, 2, 3}, c.y, c.yUnc, c.start, c.mask);
            ASSERT_EQ(linear(f, polynomialModel, check), kStatusOk);
            EXPECT_TRUE(near(f.values, c.values) && near(f.covariance.rows, c.covariance) &&
                        near(Values{f.solution.chiSquare, f.solution.sumSquares}, {c.chi, c.sumSquares})) << c.chi;
            for (int i = 0; i < 2; ++i)  // held: value kept, row and column exactly zero
                EXPECT_TRUE(c.mask[i] || (f.values[i] == c.start[i] && f.covariance.rows[i] == Values(2, 0.0) &&
                                          f.covariance.rows[1 - i][i] == 0.0)) << i;
        }
    // Five adjusted coefficients take the general path, whose sums start from the
    // cleared block, not from what the caller's covariance held (9.0).
    FitRecords five({1, 2, 3, 4, 5, 6}, {5, 31, 121, 341, 781, 1555}, Values(6, 1.0), Values(5, 0.0), Mask(5, 1));
    EXPECT_TRUE(linear(five) == kStatusOk && near(five.values, Values(5, 1.0), 1e-6)) << five.values[0];
    // The chi-square pass leaves a failing point out of the sums; only a failure
    // at the last point is reported, after everything is stored. Lines 1/3 + 2.5x
    // and 7/3 + 1.5x; the two points kept have residuals 1/6 and -1/3.
    const struct { Values y; double failAt; int32_t status; Values line; } skips[] = {
        {{3, 5, 8}, 3, kStatusNoConvergence, {1.0 / 3, 2.5}}, {{4, 5, 7}, 1, kStatusOk, {7.0 / 3, 1.5}}};
    for (const auto& c : skips) {
        FitRecords f({1, 2, 3}, c.y, {1, 1, 1}, {0, 0}, {1, 1});
        failX = c.failAt, failOnlyForValues = true;
        EXPECT_TRUE(linear(f, failing) == c.status && near(f.values, c.line) &&
                    near(f.solution.sumSquares, 5.0 / 36, 1e-14) && f.solution.chiSquare == f.solution.sumSquares);
    }
}

// Refusals change neither values nor sums: missing records or counts are
// invalid, so is a NaN y for the damped fit (the linear one fits it); a single
// point at x = 0 makes a zero row, all at x = 0 leave the slope no say, a NaN
// weight spoils every element; a model failing in the first pass stops the fit.
TEST(FitLinear, RefusedFitsChangeNothing) {
    typedef FitRecords R;
    struct C { const FitData* data; FitParameters* parameters; FitSolution* solution; ModelFunction model; };
    const int32_t invalid = kStatusInvalidArgument, ill = kStatusIllConditioned;
    const struct { void (*spoil)(R&, C&); int32_t status; bool onlyNonlinear = false; } cases[] = {
        {[](R&, C& c) { c.data = nullptr; }, invalid}, {[](R&, C& c) { c.parameters = nullptr; }, invalid},
        {[](R&, C& c) { c.solution = nullptr; }, invalid}, {[](R&, C& c) { c.model = nullptr; }, invalid},
        {[](R& f, C&) { f.data.x = nullptr; }, invalid}, {[](R& f, C&) { f.data.y = nullptr; }, invalid},
        {[](R& f, C&) { f.data.yUnc = nullptr; }, invalid}, {[](R& f, C&) { f.data.count = 0; }, invalid},
        {[](R& f, C&) { f.parameters.values = nullptr; }, invalid}, {[](R& f, C&) { f.parameters.count = 0; }, invalid},
        {[](R& f, C&) { f.parameters.fitMask = nullptr; }, invalid}, {[](R& f, C&) { f.data.count = 1, f.x[0] = 0; }, ill},
        {[](R& f, C&) { f.x = {0, 0, 0}; }, ill}, {[](R& f, C&) { f.yUnc[1] = NAN; }, ill},
        {[](R& f, C&) { f.y[1] = NAN; }, invalid, true}, {[](R& f, C&) { f.solution.covariance = nullptr; }, invalid},
        {[](R& f, C&) { f.covariance.table[0] = nullptr; }, invalid},
        {[](R&, C& c) { failX = 2, failOnlyForValues = false, c.model = failing; }, kStatusNoConvergence}};
    for (int check : {0, 1})
        for (int nonlinear : {0, 1})
            for (const auto& k : cases) {
                FitRecords f({1, 2, 3}, {3, 5, 7}, {1, 1, 1}, {0.5, 0.25}, {1, 1});
                C c = {&f.data, &f.parameters, &f.solution, polynomialModel};
                k.spoil(f, c);
                if (k.onlyNonlinear && !nonlinear) continue;
                EXPECT_EQ(nonlinear ? fitNonlinear(c.data, c.parameters, c.solution, c.model, check, 10, 1e-4)
                                    : fitLinear(c.data, c.parameters, c.solution, c.model, check), k.status) << nonlinear;
                EXPECT_TRUE(f.values == Values({0.5, 0.25}) && allocationsOutstanding() == 0 &&
                            (nonlinear || f.solution.chiSquare == -1)) << k.status << " " << check;
            }
}

// Ignores its coefficient: the k-th call yields k x 2.5e-6 with derivative 1,
// so against y = 100 every trial improves the chi-square by about 5e-4.
int32_t drifting(double, const ModelEvaluation* e, double* y) {
    return *y = static_cast<double>(++modelCalls) * 2.5e-6, e->derivatives[0] = 1.0, kStatusOk;
}
int32_t constant(double, const ModelEvaluation* e, double* y) {  // no step changes the chi-square
    return ++modelCalls, *y = e->derivatives[0] = 1.0, kStatusOk;
}
int32_t nonlinear(FitRecords& f, ModelFunction model, int stallLimit = 10, double tolerance = 1e-4, int check = 0) {
    return modelCalls = 0, fitNonlinear(&f.data, &f.parameters, &f.solution, model, check, stallLimit, tolerance);
}

// Passes: one per damped call plus the start's. At the minimum of y = 1 + 2x
// every comparison stalls: stallLimit + 1 damped calls (4 for a limit <= 0).
// The drifting model's 5e-4 per step is below the 0.001 a tolerance <= 0 stands
// for, above 1e-4, where it ends at the bound of 100 damped calls. The constant
// model's trials only equal the accepted chi-square: all rejected.
TEST(FitNonlinear, StallRuleAndBoundOnSteps) {
    const Rows line = {{7.0 / 3, -1}, {-1, 0.5}};
    const ModelFunction P = polynomialModel;
    const struct { ModelFunction model; Values x, y, start; int stallLimit; double tolerance; long passes;
                   Rows covariance; double chi; } cases[] = {
        {P, {1, 2, 3}, {3, 5, 7}, {1, 2}, 10, 1e-4, 3 * 12, line, 0}, {P, {1, 2, 3}, {3, 5, 7}, {1, 2}, 1, 1e-4, 3 * 3, line, 0},
        {P, {1, 2, 3}, {3, 5, 7}, {1, 2}, 0, 1e-4, 3 * 6, line, 0}, {P, {1, 2, 3}, {3, 5, 7}, {1, 2}, -2, 1e-4, 3 * 6, line, 0},
        {P, {1, 2, 3}, {3, 5, 7}, {1, 2}, 3, 0.0, 3 * 5, line, 0}, {constant, {1, 2}, {2, 2}, {0.5}, 2, 1e-4, 2 * 4, {{0.5}}, 2},
        {drifting, {0}, {100}, {0}, 3, 0.0, 5, {{1}}, -1}, {drifting, {0}, {100}, {0}, 3, -1.0, 5, {{1}}, -1},
        {drifting, {0}, {100}, {0}, 3, 1e-4, 101, {{1}}, -1}};
    for (int check : {0, 1})
        for (const auto& c : cases) {
            FitRecords f(c.x, c.y, Values(c.x.size(), 1.0), c.start, Mask(c.start.size(), 1));
            ASSERT_EQ(nonlinear(f, c.model, c.stallLimit, c.tolerance, check), kStatusOk);
            EXPECT_EQ(modelCalls, c.passes) << c.stallLimit << " " << c.tolerance;
            EXPECT_TRUE(near(f.covariance.rows, c.covariance) &&
                        (c.chi < 0 || (f.values == c.start && f.solution.chiSquare == c.chi))) << c.chi;
        }
}

// The pieces by hand on y = 1 + 2x at x = 1, 2, 3: at (0, 0) the curvature is
// [[3, 6], [6, 14]], the gradient (15, 34), both sums 9 + 25 + 49 = 83. From
// the minimum the start call's step is 0, its trial no better: rejected, lambda
// up tenfold. The final call leaves the inverse and releases the state.
TEST(FitNonlinear, PiecesByHand) {
    Held curvature(Rows(2, Values(2, 0.0)));
    Values gradient(2), sums(2);
    const Values origin = {0, 0};
    FitRecords f({1, 2, 3}, {3, 5, 7}, {1, 1, 1}, {1, 2}, {1, 1});
    ASSERT_EQ(computeCurvature(f.x.data(), f.y.data(), f.yUnc.data(), 3, origin.data(), f.mask.data(), 2,
                               curvature.matrix(), gradient.data(), &sums[0], &sums[1], polynomialModel), kStatusOk);
    EXPECT_TRUE(curvature.rows == Rows({{3, 6}, {6, 14}}) && gradient == Values({15, 34}) && sums == Values({83, 83}));
    MarquardtState state = {};
    double lambda = -1.0;
    auto call = [&]() {
        return marquardtStep(&f.data, &f.parameters, &f.solution, polynomialModel, curvature.matrix(), &lambda, &state);
    };
    ASSERT_EQ(call(), kStatusOk);
    EXPECT_TRUE(near(lambda, 0.01) && f.values == Values({1, 2}) && f.solution.chiSquare == 0);
    lambda = 0.0;
    ASSERT_EQ(call(), kStatusOk);
    EXPECT_TRUE(near(f.covariance.rows, {{7.0 / 3, -1}, {-1, 0.5}}) && state.trial == nullptr);
}

// Every allocation failing in turn: out of memory, outputs untouched, nothing
// leaked; a failure inside the eigenvalue routine sends the checked inversion
// to the norm test, which succeeds.
TEST(Allocation, EveryFailureIsReportedAndLeaksNothing) {
    forEachAllocationFailure([](long k) {
        const Roots r = findRoots({-6, 11, -6, 1});
        EXPECT_TRUE(k == 0 || (r.status == kStatusOutOfMemory && r.re == Values(5, kSentinel))) << k;
    });
    for (int32_t symmetric : {0, 1})
        forEachAllocationFailure([&](long k) {
            const Condition c = estimate({{4, 1, 2}, {1, 3, 0}, {2, 0, 5}}, symmetric);
            EXPECT_TRUE(k == 0 || (c.status == kStatusOutOfMemory && c.figure == kSentinel &&
                                   c.eigenvalues == Values(3, kSentinel))) << k;
        });
    for (Inversion inversion : {invertMatrix, invertMatrixChecked}) {
        Held probe({{2, 1}, {1, 2}}), none({});
        failAllocationAt(0), invert(inversion, probe, none);
        const long made = allocationsMade();
        forEachAllocationFailure([&](long k) {
            Held a({{2, 1}, {1, 2}}), b({{3}, {3}});
            const bool own = k == 1 || (k > 0 && k > made - 3);
            EXPECT_EQ(invert(inversion, a, b), own ? kStatusOutOfMemory : kStatusOk) << k;
            EXPECT_EQ(a.rows, own ? Rows({{2, 1}, {1, 2}}) : kInverseOf2112) << k;
        });
    }
    // The linear fit's own storage (4 blocks) comes first: the covariance stays.
    forEachAllocationFailure([](long k) {
        FitRecords f({1, 2, 3}, {3, 5, 7}, {1, 1, 1}, {0, 0}, {1, 1});
        EXPECT_EQ(linear(f), k ? kStatusOutOfMemory : kStatusOk) << k;
        EXPECT_TRUE(k == 0 || (f.values == Values({0, 0}) && (k > 4 || f.covariance.rows == Rows(2, Values(2, 9.0)))));
    });
}

}  // namespace
