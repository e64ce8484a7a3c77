#include "shell/texts.h"

namespace lumera {

const std::array<const char*, kQuotationCount> kQuotations = {
    "\"Nothing in biology makes sense except in the light of evolution.\"\n-- Theodosius Dobzhansky",
    "\"All models are wrong, but some are useful.\"\n-- George E. P. Box",
    "\"The first principle is that you must not fool yourself, and you are the easiest person to fool.\"\n"
    "-- Richard P. Feynman",
    "\"Science is a way of thinking much more than it is a body of knowledge.\"\n-- Carl Sagan",
    "\"To consult the statistician after an experiment is finished is often merely to ask him to conduct "
    "a post mortem examination. He can perhaps say what the experiment died of.\"\n-- Ronald A. Fisher",
    "\"The purpose of computing is insight, not numbers.\"\n-- Richard W. Hamming",
    "\"Far better an approximate answer to the right question, which is often vague, than an exact answer "
    "to the wrong question, which can always be made precise.\"\n-- John W. Tukey",
    "\"It is a capital mistake to theorize before one has data.\"\n-- Arthur Conan Doyle, A Scandal in Bohemia",
    "\"The important thing is not to stop questioning. Curiosity has its own reason for existing.\"\n"
    "-- Albert Einstein",
    "\"In all things of nature there is something of the marvellous.\"\n-- Aristotle",
    "\"In every walk with nature one receives far more than he seeks.\"\n-- John Muir",
    "\"Chance favours only the prepared mind.\"\n-- Louis Pasteur",
    "\"If I have seen further it is by standing on the shoulders of Giants.\"\n-- Isaac Newton",
    "\"Extraordinary claims require extraordinary evidence.\"\n-- Carl Sagan",
    "\"The whole of science is nothing more than a refinement of everyday thinking.\"\n-- Albert Einstein",
    "\"The null hypothesis is never proved or established, but is possibly disproved, in the course of "
    "experimentation.\"\n-- Ronald A. Fisher",
    "\"The theory of probabilities is at bottom nothing but common sense reduced to calculus.\"\n"
    "-- Pierre-Simon Laplace",
    "\"The power of population is indefinitely greater than the power in the earth to produce subsistence "
    "for man.\"\n-- Thomas Robert Malthus",
    "\"When we try to pick out anything by itself, we find it hitched to everything else in the Universe.\"\n"
    "-- John Muir",
    "\"There is grandeur in this view of life.\"\n-- Charles Darwin",
    "\"In nature nothing exists alone.\"\n-- Rachel Carson",
    "\"Data! Data! Data! I can't make bricks without clay.\"\n-- Arthur Conan Doyle, The Adventure of the "
    "Copper Beeches",
    "\"While the individual man is an insoluble puzzle, in the aggregate he becomes a mathematical "
    "certainty.\"\n-- Arthur Conan Doyle, The Sign of Four",
    "\"Errors using inadequate data are much less than those using no data at all.\"\n-- Charles Babbage",
    "\"An experiment is a question which science poses to nature, and a measurement is the recording of "
    "nature's answer.\"\n-- Max Planck",
    "\"Nothing in life is to be feared, it is only to be understood.\"\n-- Marie Curie",
    "\"Equipped with his five senses, man explores the universe around him and calls the adventure "
    "Science.\"\n-- Edwin Hubble",
    "\"Science is organized knowledge.\"\n-- Herbert Spencer",
};

const std::array<const char*, 4> kFarewellQuotations = {
    "\"The invariable mark of wisdom is to see the miraculous in the common.\"\n-- Ralph Waldo Emerson",
    "\"Nature never did betray the heart that loved her.\"\n-- William Wordsworth",
    "\"Research is to see what everybody else has seen, and to think what nobody else has thought.\"\n"
    "-- Albert Szent-Gyorgyi",
    "\"The science of today is the technology of tomorrow.\"\n-- Edward Teller",
};

const char* const kContactText =
    "Lumera: comparing treatments by the\n"
    "Cartesian products of their bootstrap\n"
    "replicates. Questions and reports:\n"
    "see the user's guide.";

const char* const kNoticeText =
    "This edition runs two commands: Q (Cartesian paired test) and N (sort and count). "
    "The other buttons belong to the full life-table package and do nothing here. "
    "Click the clock to unlock them.";

}  // namespace lumera
