// The stack machine over a block of nodes at once: every step of a branch-free program runs
// over all the block's lanes before the next step, so one dispatch serves many nodes. The
// cases are the rows of the opcode table, as in the one-node machine; a program with branches,
// or with a code the environment refuses, runs node by node instead (see Blockable).
//
// Besides what the one-node machine needs, the environment provides
//   void seek(int lane);   places x(), y(), z() and node() on the node of that lane;
//   bool nodeBlock(const MachineOp&, const InstructionList&, int lanes, double* out);
//                          the values of a NODE step at every lane at once, when it can give them
//                          faster than lane by lane (false: the machine goes lane by lane).
#pragma once

#include "input/stackmachine.h"

namespace olvu_machine {

/// Lanes of one block.
inline constexpr int BlockLanes = 64;
/// Deepest stack a block runs with (entries): deeper programs run node by node.
inline constexpr int BlockDepth = 16;

/// True when every step of the prepared `list` is a straight-line step that Env evaluates.
template <class Env>
bool Blockable(const InstructionList& list) {
  if (!list.safe() || list.depth() + 2 > BlockDepth) return false;
  const MachineOp* prog = list.program();
  for (int pc = 0; prog[pc].code != Halt_Code; ++pc) {
    const int c = prog[pc].code;
    const int base = c >= FusedConst_Base && c < FusedIf_Base ? c % 100 : c;
    if (c >= FusedIf_Base || base < 0 || base >= NCodes || !Env::accepted.has(base)) return false;
    const Form f = OpOf(base).form;
    if (f == Form::Marker || f == Form::Refused || f == Form::Control) return false;
  }
  return true;
}

/// Runs a program that Blockable accepted over `lanes` nodes (at most BlockLanes); out[i] is the
/// value at lane i.
template <class Env>
void RunBlock(const InstructionList& list, Env& env, int lanes, double* out) {
  OLVU_ASSERT_SERIAL("A user function");
  double stack[BlockDepth][BlockLanes];
  double* top = stack[0];  // stack[0] is the undefined entry under an empty stack
  const MachineOp* prog = list.program();

#define OLVU_LANES for (int i = 0; i < lanes; ++i)
#define OLVU_OP_CONSTANT(v, x)            \
  case v: {                               \
    top += BlockLanes;                    \
    const double value = (x);             \
    OLVU_LANES top[i] = value;            \
    break;                                \
  }
#define OLVU_OP_CONST(c, v, n, w, s, x) OLVU_OP_CONSTANT(v, x)
#define OLVU_OP_VAR(c, v, n, w, s, x) OLVU_OP_CONSTANT(v, env.var[x])
#define OLVU_OP_PUSH(c, v, n, w, s, x) \
  case v:                              \
    top += BlockLanes;                 \
    OLVU_LANES {                       \
      env.seek(i);                     \
      top[i] = (x);                    \
    }                                  \
    break;
#define OLVU_OP_NODE(c, v, n, w, s)                      \
  case v:                                                \
    if constexpr (Env::accepted.has(v)) {                \
      top += BlockLanes;                                 \
      if (!env.nodeBlock(op, list, lanes, top))          \
        OLVU_LANES {                                     \
          env.seek(i);                                   \
          top[i] = env.node(op, list);                   \
        }                                                \
    }                                                    \
    break;
#define OLVU_OP_UNARY(c, v, n, w, s, x) \
  case v:                               \
    OLVU_LANES {                        \
      const double b = top[i];          \
      top[i] = (x);                     \
    }                                   \
    break;
#define OLVU_OP_BINARY(c, v, n, w, s, k, x)                                 \
  case v: {                                                                 \
    double* a = top - BlockLanes;                                           \
    OLVU_LANES a[i] = Binary<v>(a[i], top[i]);                              \
    top = a;                                                                \
    break;                                                                  \
  }                                                                         \
  case FusedConst_Base + v: {                                               \
    const double k2 = op.val;                                               \
    OLVU_LANES top[i] = Binary<v>(top[i], k2);                              \
    break;                                                                  \
  }                                                                         \
  case FusedVariable_Base + v: {                                            \
    const double k2 = env.var[op.arg];                                      \
    OLVU_LANES top[i] = Binary<v>(top[i], k2);                              \
    break;                                                                  \
  }                                                                         \
  case FusedConstVar_Base + v: {                                            \
    top += BlockLanes;                                                      \
    const double r = Binary<v>(op.val, env.var[op.arg]);                    \
    OLVU_LANES top[i] = r;                                                  \
    break;                                                                  \
  }                                                                         \
  case FusedVarConst_Base + v: {                                            \
    top += BlockLanes;                                                      \
    const double r = Binary<v>(env.var[op.arg], op.val);                    \
    OLVU_LANES top[i] = r;                                                  \
    break;                                                                  \
  }

  for (const MachineOp* ip = prog;; ++ip) {
    const MachineOp& op = *ip;
    switch (op.code) {
      case Halt_Code:
        OLVU_LANES out[i] = top[i];
        return;
      OLVU_OPCODES(OLVU_OP_SKIP, OLVU_OP_SKIP, OLVU_OP_CONST, OLVU_OP_VAR, OLVU_OP_PUSH, OLVU_OP_UNARY,
                   OLVU_OP_BINARY, OLVU_OP_SKIP, OLVU_OP_NODE)
      default:
        Env::refuse(op.code);  // Blockable lets no other step through
    }
  }
#undef OLVU_LANES
#undef OLVU_OP_CONSTANT
#undef OLVU_OP_CONST
#undef OLVU_OP_VAR
#undef OLVU_OP_PUSH
#undef OLVU_OP_NODE
#undef OLVU_OP_UNARY
#undef OLVU_OP_BINARY
}

}  // namespace olvu_machine
