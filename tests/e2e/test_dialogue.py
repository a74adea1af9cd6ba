"""The console dialogue end to end: every question, its rejections and its
messages, and the end of standard input at every prompt."""

import pytest

from e2e import (END_OF_INPUT, FILE_PROMPT, LENGTH, MARKS, NUMBER, PERIODS, PREAMBLE,
                 REGIME, SHIFT, TOO_LONG, check, count_line, labels, run)

# Six events, 0 to 10: D = 10.
EVENTS = {"ev.txt": b"0\n1\n2\n8\n9\n10\n"}
OPENED = [FILE_PROMPT, count_line(6)]

ASKED_TO_REGIME = [PERIODS, NUMBER] + REGIME
ASKED_TO_WINDOW = ASKED_TO_REGIME + [LENGTH]
WINDOW_START = "1 100\n2\n1\n"

# (label, answers after the pause line and the file name, the records that
# follow the count line up to the last question). Both regimes begin with the
# line " "; what they write after it is tested with them.
SESSIONS = [
    # A whole dialogue for each regime, ending normally.
    ("regime 0 dialogue", "1 100\n5\n0\n", ASKED_TO_REGIME),
    ("regime 1 dialogue", "1 100\n2\n1\n3\n1.5\n100\n", ASKED_TO_WINDOW + [SHIFT, MARKS]),
]

# Period range: every rejection repeats the prompt with no message.
SESSIONS += [("period range rejects " + label, bad + "\n1 100\n5\n0\n",
              [PERIODS] + ASKED_TO_REGIME) for label, bad in [
    ("letters", "abc"),
    ("Tmin zero", "0 10"),
    ("Tmin negative", "-1 10"),
    ("Tmin equal Tmax", "5 5"),
    ("Tmax below Tmin", "5 1"),
    ("Tmax negative", "5 -3"),
    ("repetition gives equal values", "2*5"),
    ("two empty values keep the start values", ", ,"),
    ("slash keeps the start values", "/"),
    ("beyond the 4-byte range", "1e39 1e40"),
    ("underflow to zero", "1e-50 5"),
    ("two signs", "+-5 10"),
    ("second decimal point", "1.2.3 5"),
    ("exponent without digits", "1 5e"),
    ("exponent only", "e5 10"),
    ("hexadecimal", "0x10 20"),
    ("infinity spelled out", "1 inf"),
    ("not-a-number spelled out", "nan 5"),
]]

SESSIONS += [
    ("period range on two lines", "1\n100\n5\n0\n", ASKED_TO_REGIME),
    ("period range after empty lines", "\n  \n\t\n1,100\n5\n0\n", ASKED_TO_REGIME),
    ("period range: an empty value keeps the earlier answer", "5 1\n, 10\n5\n0\n",
     [PERIODS] + ASKED_TO_REGIME),
    ("period range: numbers after the two are ignored", "1 100 7\n5\n0\n", ASKED_TO_REGIME),
    ("period range: exponent letters D and Q", "1d0 1Q2\n5\n0\n", ASKED_TO_REGIME),
]

# Number of periods.
SESSIONS += [("number of periods rejects " + label, "1 100\n" + bad + "\n2\n0\n",
              [PERIODS, NUMBER, NUMBER] + REGIME) for label, bad in [
    ("one", "1"), ("zero", "0"), ("negative", "-5"), ("a real", "3.5"), ("an exponent", "1E2"),
    ("letters", "abc"), ("beyond 32 bits", "2147483648"), ("a comma", ",")]]
SESSIONS += [
    ("number of periods: 2*5 reads 5", "1 100\n2*5\n0\n", ASKED_TO_REGIME),
    ("number of periods: 12 13 reads 12", "1 100\n12 13\n0\n", ASKED_TO_REGIME),
]

# Regime: all three lines again.
SESSIONS += [("regime rejects " + label, "1 100\n5\n" + bad + "\n0\n",
              [PERIODS, NUMBER] + REGIME + REGIME) for label, bad in [
    ("two", "2"), ("minus one", "-1"), ("a real", "0.5"), ("a word", "x"), ("a comma", ",")]]

SESSIONS += [
    ("window length rejections", WINDOW_START + "0\n-1\nabc\n10.001\n11\n10\n5\n7\n",
     ASKED_TO_WINDOW + [LENGTH, LENGTH, LENGTH, TOO_LONG, LENGTH, TOO_LONG, LENGTH,
                        SHIFT, MARKS]),
    # Window shift: S = 0 and unreadable repeat silently; S > L names L.
    ("window shift rejections", WINDOW_START + "3\n0\n-1\nx\n3.5\n3\n0\n",
     ASKED_TO_WINDOW + [SHIFT, SHIFT, SHIFT, SHIFT,
                        " Moving time window shift should be 0 < Tshift <=        3.000000",
                        SHIFT, MARKS]),
    ("window shift message spells a small length", WINDOW_START + "0.25\n0.5\n0.25\n0\n",
     ASKED_TO_WINDOW + [SHIFT,
                        " Moving time window shift should be 0 < Tshift <=    2.500000E-01",
                        SHIFT, MARKS]),
    # An unreadable time-mark shift goes back to the window-shift question.
    ("time-mark shift returns to the shift question",
     WINDOW_START + "3\n1.5\nword\n5\n2\n-7\n",
     ASKED_TO_WINDOW + [SHIFT, MARKS, SHIFT,
                        " Moving time window shift should be 0 < Tshift <=        3.000000",
                        SHIFT, MARKS]),
    ("time-mark shift accepts zero", WINDOW_START + "10\n10\n0\n",
     ASKED_TO_WINDOW + [SHIFT, MARKS]),
]


@pytest.mark.parametrize("label,answers,after", SESSIONS, ids=labels(SESSIONS))
def test_dialogue(program, label, answers, after):
    result = run(program, "\nev.txt\n" + answers, EVENTS)
    check(result, PREAMBLE + OPENED + after + ["  "], prefix=True)


# The end of standard input at every prompt and pause: the fatal error report,
# exit status 2 and no file of the run. (label, standard input, records shown)
SCRIPT = ["", "ev.txt", "1 100", "5", "1", "3", "1.5"]
PROMPTS = [[], [FILE_PROMPT], OPENED + [PERIODS], OPENED + [PERIODS, NUMBER],
           OPENED + ASKED_TO_REGIME, OPENED + ASKED_TO_WINDOW,
           OPENED + ASKED_TO_WINDOW + [SHIFT], OPENED + ASKED_TO_WINDOW + [SHIFT, MARKS]]
ENDS = [("after %d answers" % given, "".join(line + "\n" for line in SCRIPT[:given]),
         PROMPTS[given]) for given in range(len(SCRIPT) + 1)]
# The end of input in the middle of an answer that needs two numbers.
ENDS.append(("between Tmin and Tmax", "\nev.txt\n1\n", OPENED + [PERIODS]))


@pytest.mark.parametrize("label,stdin,shown", ENDS, ids=labels(ENDS))
def test_end_of_input(program, label, stdin, shown):
    result = run(program, stdin, EVENTS)
    check(result, PREAMBLE + shown, stderr=END_OF_INPUT, status=2, files=EVENTS)
