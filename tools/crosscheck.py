#!/usr/bin/env python3
"""An independent model of a whole OSKEV run, in plain Python with single precision emulated,
for cross-checking the recorded transcripts: it recomputes RRMH, Q, the left-sided P-value and
the number of runs with an undefined Q of each complete case under tests/data/runs and compares
them with the case's output.txt and console.

    tools/crosscheck.py                       # every complete case
    tools/crosscheck.py tests/data/runs/road-oskev

It shares no code with the program: the uniform stream, the binomial generator (inversion and
BTPE), both null models and the statistics are written again here. Slow but exact.
"""
import struct, math, sys
def f(x):
    try: return struct.unpack('f', struct.pack('f', x))[0]
    except OverflowError: return math.copysign(math.inf, x)
def bits(x): return struct.unpack('i', struct.pack('f', x))[0]
def f_from_int(n):  # correctly rounded int -> float32
    if n < 2**53: return f(float(n))
    b = n.bit_length(); sh = b - 24; q, r = divmod(n, 1 << sh); half = 1 << (sh-1)
    if r > half or (r == half and q & 1): q += 1
    return float(q) * 2.0**sh
def div(a, b):
    """IEEE division: a zero divisor gives an infinity or not-a-number, as in the program."""
    try:
        return a / b
    except ZeroDivisionError:
        if a != a or a == 0:
            return math.nan
        return math.copysign(math.inf, a) * math.copysign(1.0, b)
def ln(x):
    if x != x or x < 0: return math.nan
    if x == 0: return -math.inf
    return math.log(x)
M31 = 2147483647
class Stream:
    def __init__(s, clock): s.clock=clock; s.ist=0; s.scale=0.0; s.first=True; s.given=False; s.f1=True; s.f2=True
    def clk(s):
        h,m,sec=s.clock; v=10000*h+100*m+sec+1
        return 123457 if v<=1 else v
    def init(s, code):
        if s.first: s.scale = 16777215 * 2.0**-55; s.first=False
        if code==-1: s.given=True
        elif not s.given: s.ist=s.clk(); s.given=True
    def seedset(s, v):
        if v<0 or v>=M31: s.init(0); return
        if v==0: s.ist=s.clk(); return
        s.init(-1); s.ist=v
    def seedget(s): s.init(0); return s.ist
    def u(s, x): return f_from_int(x*16777215) * 2.0**-55
    def rnun1(s):
        if s.f1: s.init(0); s.f1=False
        s.ist = 16807*s.ist % M31; return s.u(s.ist)
    def one(s):
        if s.f2: s.init(0); s.f2=False
        s.ist = 16807*s.ist % M31; return s.u(s.ist)
class Stop(Exception): pass
setup={'key':None}
def rnbin(st, nr, n, p):
    if nr<1 or n<1 or not (0<p<1): raise Stop("RNBIN args %r %r %r"%(nr,n,p))
    if p>0.5: pp=f(1-p); qq=p; mir=True
    else: pp=p; qq=f(1-p); mir=False
    xnp=f(f(n)*pp)
    out=[]
    if p < 2.0**-23 or xnp <= 10:
        epss=2.0**-24; onem=f(1-epss); qn=f(qq**n); pqr=f(pp/qq); g=f(pqr*(n+1))
        for _ in range(nr):
            ix=0.0; cum=qn; pk=qn; U=st.one()
            if not qn<epss:
                while True:
                    if U<=cum: break
                    if cum>onem: break
                    if ix>=n: break
                    ix=f(ix+1); pk=f(pk*(g/ix-pqr)); cum=f(cum+pk)
                    if pk<epss: break
            k=int(ix); out.append(n-k if mir else k)
        return out
    if setup['key']!=(n,p):
        S={}; S['ffm']=ffm=f(xnp+pp); S['m']=m=int(ffm); S['xnpq']=xnpq=f(xnp*qq)
        S['p1']=p1=f(float(int(f(2.195)*math.sqrt(xnpq)-f(4.6)*qq))+0.5)
        S['xm']=xm=f(m+0.5); S['xl']=xl=f(xm-p1); S['xr']=xr=f(xm+p1)
        S['ct']=ct=f(f(0.134)+f(20.5)/(f(15.3)+m))
        al=f((ffm-xl)/(ffm-xl*pp)); S['xll']=xll=f(al*(1+0.5*al))
        al=f((xr-ffm)/(xr*qq)); S['xlr']=xlr=f(al*(1+0.5*al))
        S['p2']=p2=f((ct+1+ct)*p1); S['p3']=p3=f(p2+ct/xll); S['p4']=f(p3+ct/xlr)
        S['pqr']=pqr=f(pp/qq); S['g']=f(pqr*(n+1))
        setup['key']=(n,p); setup['S']=S
    S=setup['S']; m=S['m']; xnpq=S['xnpq']; p1=S['p1']; xm=S['xm']; xl=S['xl']; xr=S['xr']; ct=S['ct']
    xll=S['xll']; xlr=S['xlr']; p2=S['p2']; p3=S['p3']; p4=S['p4']; pqr=S['pqr']; g=S['g']
    def stirl(a,a2): return (13860-(462-(132-(99-140/a2)/a2)/a2)/a2)/a/166320
    for _ in range(nr):
        while True:
            U=f(st.one()*p4); V=st.one()
            if U<=p1:
                ix=int(xm-p1*V+U); break
            if U<=p2:
                X=f(xl+(U-p1)/ct); V=f(V*ct+1-abs(m-X+0.5)/p1)
                if V>1: continue
                ix=int(X)
            elif U<=p3:
                t=xl+math.log(V)/xll
                if t<0 and int(t)<0: continue
                ix=int(t)
                if ix<0: continue
                V=f((U-p2)*V*xll)
            else:
                t=xr-math.log(V)/xlr
                ix=int(t)
                if ix>n: continue
                V=f((U-p3)*V*xlr)
            k=abs(ix-m)
            if k<=20 or k>=xnpq/2-1:
                F=1.0
                if m<ix:
                    for i in range(m+1,ix+1): F=f(F*(g/i-pqr))
                elif m>ix:
                    for i in range(ix+1,m+1): F=f(F/(g/i-pqr))
                if V<=F: break
                continue
            amaxp=f((k/xnpq)*((k*(k/f(3.0)+0.625)+f(0.16666667))/xnpq+0.5))
            ynorm=f(-(k*k)/(2*xnpq)); alv=f(math.log(V))
            if alv<ynorm-amaxp: break
            if alv>ynorm+amaxp: continue
            x1=f(ix+1); f1=f(m+1); z=f(n+1-m); w=f(n-ix+1)
            x2=f(x1*x1); f2=f(f1*f1); z2=f(z*z); w2=f(w*w)
            bound=xm*math.log(f1/x1)+(n-m+0.5)*math.log(z/w)+(ix-m)*math.log(w*pp/(x1*qq))+stirl(f1,f2)+stirl(z,z2)+stirl(x1,x2)+stirl(w,w2)
            if alv>bound: continue
            break
        out.append(n-ix if mir else ix)
    return out

def run(rows, nruns, cc1, cc2, iopt, clock, v10=False):
    cc1=f(cc1); cc2=f(cc2)
    st=Stream(clock); st.seedset(0); st.seedget()
    C=[]
    for e1,s1,e2,s2 in rows:
        if (e1==0 and e2>0) or (e1>0 and e2==0): c=cc1
        elif e1==0 and e2==0: c=cc2
        else: C.append([f(e1),f(s1),f(e2),f(s2)]); continue
        C.append([f(e1+c),f(s1+2*c),f(e2+c),f(s2+2*c)])
    RR=[];NT=[];W=[]
    for a,s1,c,s2 in C:
        RR.append(f(div(f(a*s2), f(c*s1)))); NT.append(math.trunc(s1+s2))
    SA=0.0;SC=0.0
    for (a,s1,c,s2),n in zip(C,NT): SA=f(SA+a*s2/n); SC=f(SC+c*s1/n)
    RRMH=f(div(SA,SC))
    for (a,s1,c,s2) in C: W.append(f(div(1,f(((div(1,c)+div(1,a))-div(1,s1))-div(1,s2)))))
    Q=0.0
    for rr,w in zip(RR,W):
        d=f(ln(rr))-ln(RRMH); Q=f(Q+w*f(d)*d)
    isave=[0]
    def getuni():
        st.seedset(isave[0]); st.rnun1(); isave[0]=st.seedget(); st.seedset(isave[0]); return st.rnun1()
    def getbin(n,p,nr,seed):
        st.seedset(seed); return rnbin(st,nr,n,p)
    ns=len(rows); tabs=[[None]*nruns for _ in range(ns)]
    def corr(a,c,i,one,both,sone,sboth):
        s1,s2=rows[i][1],rows[i][3]
        A=f(a); Cc=f(c)
        if (a==0)!=(c==0): return f(A+one),f(Cc+one),f(s1+sone),f(s2+sone)
        if a==0: return f(A+both),f(Cc+both),f(s1+sboth),f(s2+sboth)
        return A,Cc,f(s1),f(s2)
    if iopt==1:
        for i,(e1,s1,e2,s2) in enumerate(rows):
            a,s1c,c,s2c=C[i]
            p2=f((a+c)/(RRMH*s1c+s2c)); p1=f(RRMH*p2)
            IRA=getbin(s1,p1,nruns,bits(getuni())); IRC=getbin(s2,p2,nruns,bits(getuni()))
            for k in range(nruns): tabs[i][k]=corr(IRA[k],IRC[k],i,f(0.5),f(0.1),1.0,f(0.2))
    else:
        for i,(e1,s1,e2,s2) in enumerate(rows):
            a,s1c,c,s2c=C[i]; npool=s1+s2; ppool=f((a+c)/(s1c+s2c))
            for k in range(nruns):
                while True:
                    nevt=getbin(npool,ppool,1,bits(getuni()))[0]
                    p2=f(nevt/(RRMH*s1c+s2c)); p1=f(RRMH*p2)
                    if npool<=a+c or p2>1 or p1>1: continue
                    if (p2<=0 or p1<=0) if v10 else (p2==0 or p1==0): continue
                    break
                ia=getbin(s1,p1,1,bits(getuni()))[0]; ic=getbin(s2,p2,1,bits(getuni()))[0]
                tabs[i][k]=corr(ia,ic,i,cc1,cc2,2.0*cc1,2.0*cc2)
    QS=[]
    for k in range(nruns):
        sa=0.0; sc=0.0
        for i in range(ns):
            A,Cc,s1,s2=tabs[i][k]; nt=math.trunc(s1+s2)
            sa=f(sa+A*s2/nt); sc=f(sc+Cc*s1/nt)
        rr=f(sa/sc) if sc!=0 else math.nan
        lr=f(math.log(rr)) if rr>0 else math.nan
        q=0.0
        for i in range(ns):
            A,Cc,s1,s2=tabs[i][k]
            try:
                rs=f((A*s2)/(s1*Cc)); v=f(1/Cc+1/A-1/s1-1/s2); w=f(1/v)
                d=math.log(rs)-lr; q=f(q+f(d)*d*w)
            except (ZeroDivisionError, ValueError):
                q=math.nan
        QS.append(q)
    cnt=sum(1 for q in QS if q<=Q)
    return RRMH, Q, f(cnt/nruns), sum(1 for q in QS if q!=q)



def read_case(folder):
    import os
    keys = dict(line.split() for line in open(os.path.join(folder, 'case.txt')) if line.strip())
    import re
    answers = []
    for line in open(os.path.join(folder, 'answers.txt'), newline='').read().replace('\r', '').split('\n'):
        token = re.split(r'[ ,/]+', line.strip())[0] if line.strip() else ''
        if token:
            answers.append(token)  # one answer a read; the rest of its line is skipped
    return keys, answers


def check(folder):
    import os, re
    keys, answers = read_case(folder)
    if keys.get('status') != '0' or not os.path.exists(os.path.join(folder, 'output.txt')):
        return None
    nstudy, nruns = int(answers[0]), int(answers[1])
    cc1, cc2, iopt = float(answers[2]), float(answers[3]), int(answers[4])
    numbers = [int(x) for x in open(os.path.join(folder, 'study.txt'), encoding='utf-8-sig').read().split()[:4 * nstudy]]
    rows = [tuple(numbers[4 * i:4 * i + 4]) for i in range(nstudy)]
    h, m, s = (int(x) for x in keys['time'].split(':'))
    rrmh, q, pemp, undefined = run(rows, nruns, cc1, cc2, iopt, (h, m, s), v10=keys['program'] == 'oskev-v1.0')
    record = open(os.path.join(folder, 'output.txt')).read().split('\n')
    expected = ['%12.6f' % rrmh, '%12.6f' % q, '%12.6f' % pemp]
    found = [record[7], record[9], record[13]]
    console = open(os.path.join(folder, 'console.txt')).read()
    match = re.search(r'Runs with an undefined Q, not counted: +(\d+)', console)
    shown_undefined = int(match.group(1)) if match else 0
    ok = [e.strip() == f.strip() or ('nan' in e and 'NaN' in f) for e, f in zip(expected, found)]
    return all(ok) and shown_undefined == undefined, expected, found, undefined, shown_undefined


if __name__ == '__main__':
    import glob, os, sys
    here = os.path.dirname(os.path.abspath(__file__))
    folders = sys.argv[1:] or sorted(glob.glob(os.path.join(here, '..', 'tests', 'data', 'runs', '*')))
    failures = 0
    for folder in folders:
        result = check(folder)
        if result is None:
            continue
        ok, expected, found, undefined, shown = result
        failures += not ok
        print(('agrees ' if ok else 'DIFFERS') + '  ' + os.path.basename(os.path.normpath(folder)) +
              ('' if ok else '  model %s %d, recorded %s %d' % (expected, undefined, found, shown)))
    sys.exit(1 if failures else 0)
